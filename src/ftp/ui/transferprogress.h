// The window a transfer runs under: what is being fetched, the bytes so far, the size, share and
// speed where known, and 中止.
#pragma once
#include <atomic>
#include <functional>

#include <QString>

#include "ftp/inetman.h"

class QWidget;

// Runs job on a thread of its own; unless it is over within 0.2 s, an application-modal window
// (objectName "DownLoadProgress") shows manager's progress meanwhile and keeps repainting. Its 中止,
// Esc and close button set stop and cancel the transfer manager is running; the window goes when
// job has returned. What job throws is thrown here.
void runUnderProgress(QWidget* parent, ftp::TFtpManager& manager, const QString& what, std::atomic<bool>& stop,
                      const std::function<void()>& job);
