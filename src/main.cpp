// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/fMain.h"
#include "ui/platform.h"

int main(int argc, char *argv[])
{
    prepareWebEngine();
    TApplication application(argc, argv);
    closeWindowsOnTerminationSignals();
    TfrmMain frmMain;
    frmMain.show();
    return application.exec();
}
