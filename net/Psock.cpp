// The socket component (interface in place; bodies follow).
#include "net/Psock.h"

const std::array<SocketErrorEntry, 50> SocketErrorTable{};

QByteArray ExtractField(const QByteArray&, char, int) { return {}; }
platform::HWND CreateSocketWindow(TPowersock*) { return platform::NoWindow; }
platform::HWND CreateTimerWindow(TThreadTimer*) { return platform::NoWindow; }
platform::LRESULT SocketWindowProc(platform::HWND, quint32, platform::WPARAM, platform::LPARAM) { return 0; }
platform::LRESULT TimerWindowProc(platform::HWND, quint32, platform::WPARAM, platform::LPARAM) { return 0; }

TThreadTimer::TThreadTimer(QObject* AOwner) : QObject(AOwner) {}
TThreadTimer::~TThreadTimer() = default;
void TThreadTimer::setInterval(quint32) {}
void TThreadTimer::setEnabled(bool) {}
void TThreadTimer::setOnTimer(TNotifyEvent) {}
void TThreadTimer::Tick() {}
void TThreadTimer::UpdateTimer() {}

TPowersock::TPowersock(QObject* AOwner) : QObject(AOwner) {}
TPowersock::~TPowersock() = default;
platform::winsock::SOCKET TPowersock::Accept() { return platform::winsock::INVALID_SOCKET; }
void TPowersock::Connect() {}
void TPowersock::Disconnect() {}
QByteArray TPowersock::Transaction(const QByteArray&) { return {}; }
void TPowersock::Abort() {}
void TPowersock::Cancel() {}
void TPowersock::CheckConnection() {}
void TPowersock::CloseSocket() {}
void TPowersock::ResolveHost() {}
void TPowersock::Write(const QByteArray&) {}
void TPowersock::Writeln(const QByteArray&) {}
void TPowersock::SendBuffer(const char*, quint16) {}
QByteArray TPowersock::Read(quint16) { return {}; }
QByteArray TPowersock::ReadLn() { return {}; }
bool TPowersock::DataAvailable() { return false; }
void TPowersock::ClearInput() {}
void TPowersock::SendFile(const QString&) {}
void TPowersock::Listen(bool) {}
QByteArray TPowersock::LocalAddressCommas() { return {}; }
QByteArray TPowersock::LocalPortCommas() { return {}; }
void TPowersock::ReportStatus(quint8, const QByteArray&) {}
void TPowersock::CheckSocketError(int) {}
QByteArray TPowersock::ErrorText(quint16) { return {}; }
void TPowersock::HandleNotification(quint32, platform::WPARAM, platform::LPARAM) {}
void TPowersock::TimerOn() {}
void TPowersock::TimerOff() {}
void TPowersock::TimerTriggered(QObject*) {}
void TPowersock::StartStack() {}
void TPowersock::openNotifiedSocket() {}
void TPowersock::checkIdle(qint64, const char*) const {}
