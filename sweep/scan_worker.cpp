// SPDX-License-Identifier: GPL-3.0-or-later
#include "sweep/scan_worker.h"

#include "core/runtime_error.h"

#include <QMetaObject>
#include <exception>

namespace qv7m {

ScanWorker::ScanWorker(AlignedLink& link) : radio_(link), sweep_(radio_, *this) {
    qRegisterMetaType<ProbeOutcome>();
    qRegisterMetaType<SweepWindow>();
    qRegisterMetaType<PlotPoint>();
    qRegisterMetaType<PassShown>();
    qRegisterMetaType<SweepResult>();
    thread_.setObjectName(QStringLiteral("scan"));
}

ScanWorker::~ScanWorker() { shutDown(); }

void ScanWorker::start() {
    moveToThread(&thread_);
    thread_.start();
}

void ScanWorker::shutDown() {
    if (!thread_.isRunning()) return;
    requestStop();
    QMetaObject::invokeMethod(
        this,
        [this] {
            sweep_.stop();
            closeQuietly();
        },
        Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
}

void ScanWorker::post(std::function<void()> job) { QMetaObject::invokeMethod(this, std::move(job)); }

void ScanWorker::closeQuietly() {
    try {
        radio_.close();
    } catch (const RuntimeError&) {
        // The port is given up either way; what failed was told already or
        // does not matter any more.
        radio_.link().line().close();
    }
}

ProbeOutcome ScanWorker::probe(int16_t port) {
    ProbeOutcome outcome;
    if (sweep_.running()) return outcome;
    port_ = port;
    answered_ = false;
    try {
        radio_.forgetMeter();
        if (!radio_.testPort(port)) {
            outcome.result = ProbeOutcome::Result::CannotConnect;
            return outcome;
        }
        radio_.open(port);
        radio_.readMeter();
        radio_.close();
        answered_ = radio_.meter() != -1;
        outcome.result = answered_ ? ProbeOutcome::Result::Answered : ProbeOutcome::Result::NoResponse;
    } catch (const RuntimeError& e) {
        closeQuietly();
        outcome.error = e.message();
    }
    return outcome;
}

void ScanWorker::probeAndTell(int16_t port) { emit probed(probe(port)); }

void ScanWorker::startScan(int scanId, const ScanSettings& settings) {
    if (sweep_.running()) return;
    scanId_ = scanId;
    port_ = settings.port;
    stopRequested_ = false;
    try {
        sweep_.start(settings);
        answered_ = true;
        nextStep();
    } catch (const RuntimeError& e) {
        fail(e.message());
    }
}

void ScanWorker::nextStep() {
    if (stepPosted_) return;
    stepPosted_ = true;
    QMetaObject::invokeMethod(this, &ScanWorker::step, Qt::QueuedConnection);
}

void ScanWorker::step() {
    stepPosted_ = false;
    try {
        pass_ = PassShown{};
        const bool goesOn = sweep_.step();
        // One signal a pass: the window wakes and repaints once for it.
        if (pass_.reading >= 0) emit passShown(scanId_, pass_);
        if (goesOn) nextStep();
    } catch (const RuntimeError& e) {
        fail(e.message());
    } catch (const std::exception& e) {
        fail(QStringLiteral("Unexpected error: %1").arg(QString::fromLocal8Bit(e.what())));
    }
}

void ScanWorker::fail(const QString& message) {
    // A running scan ends and the port is closed, so nothing more goes to a
    // port that just failed.
    sweep_.stop();
    sweep_.resetShade();
    hold_ = false;
    closeQuietly();
    emit failed(scanId_, message);
    emit scanEnded(scanId_);
}

void ScanWorker::endScan() {
    sweep_.stop();
    sweep_.resetShade();
    hold_ = false;
    emit scanEnded(scanId_);
}

QString ScanWorker::sendScanEndAndClose() {
    QString error;
    try {
        if (radio_.isOpen()) {
            sweep_.leaveRadio();
            radio_.sendScanEnd();
            radio_.close();
        }
    } catch (const RuntimeError& e) {
        closeQuietly();
        error = e.message();
    }
    sweep_.stop();
    return error;
}

void ScanWorker::setup() {
    const QString error = sendScanEndAndClose();
    if (!error.isEmpty()) emit failed(scanId_, error);
    endScan();
}

void ScanWorker::quit() {
    const QString error = sendScanEndAndClose();
    endScan();
    emit quitReady(error);
}

void ScanWorker::finishAhead() {
    if (!radio_.stepAhead()) return;
    pass_ = PassShown{};
    sweep_.finishAhead(true);
    if (pass_.reading >= 0) emit passShown(scanId_, pass_);
}

void ScanWorker::withRadio(const std::function<void()>& op) {
    finishAhead();
    const bool own = !radio_.isOpen();
    if (own) radio_.open(port_);
    try {
        op();
    } catch (...) {
        if (own) closeQuietly();
        throw;
    }
    if (!own) return;
    if (radio_.pacingZero()) radio_.sendFollowUp();
    radio_.close();
}

void ScanWorker::retuneVfoA(int32_t units) {
    if (!sweep_.running()) return;
    try {
        withRadio([&] {
            if (radio_.tuneVfoA(units)) radio_.forgetStatus();
        });
    } catch (const RuntimeError& e) {
        fail(e.message());
    }
}

}  // namespace qv7m
