// Benchmark tool: one whole send run as the window starts it (the real RunCoordinator, its
// station threads and FtpClients, without the window) and the time it takes.
//
//   send_run_driver --folder DIR --settings Stations.ini [--remote D] [--log FILE] [--verbose]
//                   --station NAME,ADDRESS,USER,PASSWORD [--station ...] NOTICE...
//
// NOTICE names files in DIR. Stations.ini holds each station's port and mode as the
// settings page writes them, and the run group its N and limits. Prints one line of key=value
// fields: elapsed_s, cpu_ms, stations, failed_stations, log_lines, error_lines. --verbose copies
// every log line to standard error with the seconds since the start.
#include "app/NoticeSelection.h"
#include "app/RunCoordinator.h"
#include "app/StationFile.h"
#include "app/StationSettings.h"
#include "bench/common/ProcessTimes.h"
#include "ftp/FtpClient.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>

#include <cstdio>
#include <optional>

namespace {

struct Options {
    QString folder;
    QString settings;
    QString remote = QStringLiteral("/");
    QString logFile;
    bool verbose = false;
    QList<Station> stations;
    QStringList notices;
};

void usage()
{
    std::fprintf(stderr,
                 "usage: send_run_driver --folder DIR --settings INI [--remote D] "
                 "[--log FILE] [--verbose] --station NAME,ADDRESS,USER,PASSWORD... "
                 "NOTICE...\n");
}

std::optional<Options> parseArguments(const QStringList& arguments)
{
    Options options;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("--verbose")) {
            options.verbose = true;
            continue;
        }
        if (!argument.startsWith(QLatin1String("--"))) {
            options.notices << argument;
            continue;
        }
        if (i + 1 >= arguments.size())
            return std::nullopt;
        const QString value = arguments[++i];
        if (argument == QLatin1String("--folder")) {
            options.folder = value;
        } else if (argument == QLatin1String("--settings")) {
            options.settings = value;
        } else if (argument == QLatin1String("--remote")) {
            options.remote = value;
        } else if (argument == QLatin1String("--log")) {
            options.logFile = value;
        } else if (argument == QLatin1String("--station")) {
            const QStringList fields = value.split(u',');
            if (fields.size() != 4)
                return std::nullopt;
            options.stations << Station{fields[0], fields[1], fields[2], fields[3]};
        } else {
            return std::nullopt;
        }
    }
    if (options.folder.isEmpty() || options.settings.isEmpty() || options.stations.isEmpty())
        return std::nullopt;
    return options;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const std::optional<Options> options = parseArguments(app.arguments());
    if (!options) {
        usage();
        return 2;
    }

    QElapsedTimer clock;
    clock.start();
    qint64 lines = 0;
    qint64 errorLines = 0;

    NoticeSelection notices(options->folder);
    for (const QString& name : options->notices)
        notices.add(name);

    FtpClient client;
    const double cpuBefore = bench::cpuMilliseconds();
    const StationSettings settings(options->settings);
    RunCoordinator run(client,
                       [&](const QString& line, bool isError) {
                           ++lines;
                           errorLines += isError ? 1 : 0;
                           if (options->verbose)
                               std::fprintf(stderr, "%8.3f %s%s\n", clock.elapsed() / 1000.0,
                                            isError ? "! " : "  ", qPrintable(line));
                       },
                       options->logFile,
                       {.stations = options->stations,
                        .options = settings.load(options->stations),
                        .remoteFolder = options->remote,
                        .notices = notices,
                        .settingsPath = options->settings,
                        .settings = settings.runSettings()});
    QObject::connect(&run, &RunCoordinator::runFinished, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    run.start();
    app.exec();

    std::printf("elapsed_s=%.3f cpu_ms=%.1f stations=%lld failed_stations=%lld log_lines=%lld "
                "error_lines=%lld\n",
                clock.elapsed() / 1000.0, bench::cpuMilliseconds() - cpuBefore,
                static_cast<long long>(options->stations.size()),
                static_cast<long long>(run.unfinishedStations().size()),
                static_cast<long long>(lines), static_cast<long long>(errorLines));
    return 0;
}
