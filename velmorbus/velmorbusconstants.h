#ifndef VELMORBUSCONSTANTS_H
#define VELMORBUSCONSTANTS_H

#include <QtGlobal>

// Addresses with a meaning of their own on every Velmorbus controller.
namespace Velmorbus {

// A write of 1 here makes the controller store its configuration in flash.
constexpr quint16 flashStoreAddr = 0xFD;
// The real-time clock: one block of clockBlockSize bytes.
constexpr quint16 clockBlockAddr = 0x0C02;
constexpr quint16 clockBlockSize = 8;

} // namespace Velmorbus

#endif // VELMORBUSCONSTANTS_H
