// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Every message box of the program goes through one presenter, so that tests
// can read the text and press OK.

#include <QString>
#include <QStringList>

class QWidget;

namespace qv7m {

class MessagePresenter {
public:
    virtual ~MessagePresenter() = default;
    // Modal, OK button only, no icon; returns when the user pressed OK. The
    // text keeps the program's characters exactly (a lone CR included).
    virtual void show(const QString& text) = 0;
};

// The real one: a QMessageBox titled with the application's title, "QV-7M".
class BoxPresenter : public MessagePresenter {
public:
    explicit BoxPresenter(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    void show(const QString& text) override;
    // What the box shows on screen: a lone CR becomes a line break.
    static QString screenText(const QString& text);

private:
    QWidget* parent_;
};

}  // namespace qv7m
