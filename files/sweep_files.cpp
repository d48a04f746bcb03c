// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/sweep_files.h"

#include "files/whole_file.h"

namespace qv7m {

QByteArray recordLine(const SweepResult& sweep) {
    QByteArray line = sweep.started.toString(QStringLiteral("yyyy-MM-dd, HH:mm:ss")).toLatin1();
    for (qint64 n : {qint64(sweep.frequencies.front()) * 10, qint64(sweep.frequencies.back()) * 10,
                     qint64(sweep.stepUnits) * 10, qint64(1)})
        line += ", " + QByteArray::number(n);
    for (int16_t reading : sweep.readings) line += ", " + QByteArray::number(reading);
    return line + '\n';
}

QByteArray sweepCsv(const SweepResult& sweep) {
    QByteArray csv = "Hz,reading\n";
    for (size_t i = 0; i < sweep.frequencies.size(); ++i)
        csv +=
            QByteArray::number(qint64(sweep.frequencies[i]) * 10) + ',' + QByteArray::number(sweep.readings[i]) + '\n';
    return csv;
}

void saveSweep(const QString& path, const SweepResult& sweep) { writeWholeFile(path, sweepCsv(sweep)); }

void SweepRecorder::open(const QString& path) {
    file_.setFileName(path);
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Append)) throw fileError(path, file_.errorString());
}

void SweepRecorder::append(const SweepResult& sweep) {
    const QByteArray line = recordLine(sweep);
    if (file_.write(line) == line.size() && file_.flush()) return;
    const RuntimeError error = fileError(file_.fileName(), file_.errorString());
    file_.close();
    throw error;
}

}  // namespace qv7m
