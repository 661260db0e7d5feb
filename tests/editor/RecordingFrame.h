#pragma once
// The program's main window with its message boxes recorded for as long as it
// lives: what it told and asked, and the answers the test scripts for it.
// Tests derive from it to stand in for the file choosers and the like.
#include "editor/CMainFrame.h"
#include "tests/common/MessageRecorder.h"

#include <QList>
#include <QStringList>

namespace testsupport {

class RecordingFrame : public tarlo::CMainFrame {
public:
    using CMainFrame::CMainFrame;

    MessageRecorder boxes;
    QList<ui::Answer>& answers = boxes.answers; // the next answers to give
    QStringList& asked = boxes.asked;
    QStringList& errors = boxes.told; // a window's failures are its only messages
};

} // namespace testsupport
