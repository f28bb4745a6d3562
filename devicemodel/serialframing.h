#ifndef SERIALFRAMING_H
#define SERIALFRAMING_H

#include <string>
#include <vector>

// How each character travels on a serial line: data bits, parity and stop bits. Many
// RS-485 buses run 8E1; a description that says nothing gets 8N1.
struct SerialFraming
{
    enum class Parity {
        None,
        Even,
        Odd
    };

    Parity parity = Parity::None;
    int dataBits = 8;
    int stopBits = 1;

    static constexpr int MinDataBits = 7;
    static constexpr int MaxDataBits = 8;
    static constexpr int MinStopBits = 1;
    static constexpr int MaxStopBits = 2;

    // The names the description file and the programs use, in Parity's order.
    static const std::vector<std::string> &parityNames();
    static bool parityFromName(const std::string &name, Parity *parity);
    static std::string parityName(Parity parity);
};

#endif // SERIALFRAMING_H
