// What a send run tells the window while it goes: each station's state and bytes, and each
// notice's outcome at each station. Plain values, carried by queued signals between threads.
#pragma once

#include <QList>
#include <QMetaType>
#include <QString>

// Where a station's session stands.
enum class StationState {
    Waiting,    // 等待: not started yet (up to N stations run at once)
    Connecting, // 连接中: connecting and reading the greeting
    LoggingIn,  // 登录
    Sending,    // 传送 <file>
    Checking,   // 核对: the server is checking a stored file
    Done,       // 完成: every notice delivered
    Failed,     // 失败: reached or not, something did not arrive
    Stopped,    // 已停止: Stop or the window closing ended it
};

// One station's progress, sent whenever its state changes and a few times a second while a
// file goes or the server is silent.
struct StationProgress {
    int station = 0; // position in the run's station list
    StationState state = StationState::Waiting;
    QString file;         // the notice in transfer or being checked; empty otherwise
    qint64 bytesDone = 0; // the station's bytes sent so far, all its notices together
    qint64 bytesTotal = 0;
    double bytesPerSecond = 0;  // while a file goes; 0 otherwise
    int silentSeconds = 0;      // how long the server has said nothing while awaited
    int silentLimitSeconds = 0; // the limit of that wait; 0 while nothing is awaited
};

// What became of one notice at one station.
enum class NoticeResult { DeliveredChecked, DeliveredUnchecked, NotDelivered };

struct NoticeOutcome {
    QString notice; // the notice's name as the station stores it
    NoticeResult result = NoticeResult::NotDelivered;
    QString reason; // why not delivered, or why unchecked; in the clerk's words
};

Q_DECLARE_METATYPE(StationProgress)
Q_DECLARE_METATYPE(NoticeOutcome)
