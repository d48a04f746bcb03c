// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window as a user reaches it: controls by their names, messages read and
// answered at once, a scan run until the test has seen enough; and the files
// it keeps.

#include "app/main_window.h"
#include "support/wait_for.h"

#include <QFile>

namespace qv7m::test {

struct RecordingPresenter : MessagePresenter {
    void show(const QString& text) override { shown << text; }
    QStringList shown;
};

template <class W = QWidget>
W* child(const QWidget& window, const char* name) {
    W* w = window.findChild<W*>(QString::fromLatin1(name));
    if (!w) throw std::logic_error(std::string("no control named ") + name);
    return w;
}
inline QString text(const QWidget& window, const char* label) { return child<QLabel>(window, label)->text(); }
inline void click(const QWidget& window, const char* button) { child<QAbstractButton>(window, button)->click(); }
inline void choose(const QWidget& window, const char* list, int index) {  // as a user's click does
    QComboBox* c = child<QComboBox>(window, list);
    c->setCurrentIndex(index);
    emit c->activated(index);
}

// Presses "Start scan" and runs `tick` every 20 ms while the scan runs until it returns true (it pressed
// Setup or Quit, or the scan ended); then waits for the scan to end. Returns false, after pressing Setup,
// when that took over `seconds`.
inline bool scanUntil(MainWindow& form, const std::function<bool()>& tick, int seconds = 30) {
    if (!child(form, "startButton")->isEnabled()) return false;
    click(form, "startButton");
    const bool reached = waitFor(tick, seconds);
    if (!reached && !form.ended() && form.scan().running()) click(form, "setupButton");
    return waitFor([&] { return !form.scan().running() || form.ended(); }) && reached;
}

// Presses "Quit"; false when the program did not end.
inline bool quit(MainWindow& form) {
    click(form, "quitButton");
    return waitFor([&] { return form.ended(); });
}

inline QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : "(none)";
}
inline bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

}  // namespace qv7m::test
