#include "app/sweep_files.h"

#include <QSaveFile>

namespace qv7m {

namespace {

QString reasonFor(const QString& path, const QString& reason) { return path + QStringLiteral(": ") + reason; }

}  // namespace

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

bool SweepRecorder::open(const QString& path, QString* error) {
    file_.setFileName(path);
    if (file_.open(QIODevice::WriteOnly | QIODevice::Append)) return true;
    *error = reasonFor(path, file_.errorString());
    return false;
}

bool SweepRecorder::append(const SweepResult& sweep, QString* error) {
    const QByteArray line = recordLine(sweep);
    if (file_.write(line) == line.size() && file_.flush()) return true;
    *error = reasonFor(file_.fileName(), file_.errorString());
    file_.close();
    return false;
}

bool writeWholeFile(const QString& path, const QByteArray& bytes, QString* error) {
    QSaveFile f(path);
    if (f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() && f.commit()) return true;
    *error = reasonFor(path, f.errorString());
    return false;
}

}  // namespace qv7m
