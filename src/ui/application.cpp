#include "application.h"

#include <QApplication>
#include <QIcon>
#include <QTimer>
#include <exception>

#include "control/configuration.h"
#include "desktop.h"
#include "form_layout.h"
#include "handler_guard.h"
#include "main_window.h"
#include "platform/files.h"
#include "platform/signals.h"

namespace tessellon {

namespace {

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256}) {
        icon.addFile(QString(":/icons/tessellon-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

}  // namespace

int RunDesktopProgram(int argc, char** argv) {
    int qtArgc = argc > 0 ? 1 : 0;
    QApplication app(qtArgc, argv);
    QApplication::setApplicationName("Tessellon");
    QGuiApplication::setDesktopFileName("tessellon");
    QApplication::setWindowIcon(ProgramIcon());
    form::UseProgramFont();

    QtDesktop desktop;
    int status = 1;
    RunHandler(desktop, nullptr, [&] {
        DownloadSettings settings;
        settings.ConfigFileName = Configuration::DefaultFileName();
        settings.ProgramFolder = ProgramFolder();
        TForm1 Form1(desktop, settings);
        // SIGTERM or Ctrl-C in the terminal that started the program closes
        // the window as the user would, saving; a second one ends it at once.
        CatchStopSignals();
        QTimer signalWatch;
        QObject::connect(&signalWatch, &QTimer::timeout, [&Form1] {
            if (SecondStopRequestedBySignal()) {
                EndAtStopSignals();
            } else if (StopRequestedBySignal() && Form1.isVisible()) {
                Form1.CloseAsAsked();
            }
        });
        signalWatch.start(200);
        Form1.show();
        status = QApplication::exec();
    });
    return status;
}

}  // namespace tessellon
