// stand-in until the radio link lands
#include "radio/radiolink.h"
namespace qv7m {
RadioLink::RadioLink(MSComm& comm) : comm_(comm) {}
void RadioLink::Befehl(const int16_t& nummer) {
    if (nummer == 4) comm_.Output(QByteArray("\x00\x00\x00\x00\x85", 5));
    if (nummer == 10) comm_.setPortOpen(false);
    if (nummer == 11) comm_.setPortOpen(true);
}
void RadioLink::lesemeter() {
    comm_.Output(QByteArray("\x01\x00\x00\x00\xF7", 5));
    for (int k = 1; k <= 5; ++k) {
        rxBuffer[k] = comm_.Input();
        comm_.Output(QByteArray("\x00\x00\x00\x0F\x0E", 5));
        if (!rxBuffer[k].isEmpty()) meterValue = static_cast<uint8_t>(rxBuffer[k][0]);
    }
}
bool RadioLink::PortTest(const int16_t& n) {
    comm_.setCommPort(n);
    bool ok = true;
    try { comm_.setPortOpen(true); comm_.setPortOpen(false); comm_.setPortOpen(true); } catch (...) { ok = false; }
    try { comm_.setPortOpen(false); } catch (...) {}
    return ok;
}
}
