// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/messages.h"

#include <QMessageBox>

namespace qv7m {

QString BoxPresenter::screenText(const QString& text) {
    QString s = text;
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}

void BoxPresenter::show(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("QV-7M"), screenText(text), QMessageBox::Ok, parent_);
    box.exec();
}

}  // namespace qv7m
