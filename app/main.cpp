// qv7m: a band scope for the Yaesu FT-1000MP. The program reads no command
// line and no environment: its configuration is "qv-7m.ini" in the working
// directory, and the radio is on the port COM1..COM4 chosen in the window.

#include "app/main_window.h"
#include "app/messages.h"
#include "radio/serialcontrol.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("qv7m"));
    // No display name: Qt would append it to the window's caption.
    QApplication::setDesktopFileName(QStringLiteral("qv7m"));
    // One window; it ends the program itself (Quit or closing it).
    QApplication::setQuitOnLastWindowClosed(false);

    auto comm = qv7m::makeSerialControl();
    qv7m::BoxPresenter messages;
    qv7m::MainWindow form(*comm, messages);
    messages.setParent(&form);
    form.load();  // before the window is first shown, as the form's load event
    if (form.ended()) return 0;
    form.show();
    return app.exec();
}
