#include "serialframing.h"

const std::vector<std::string> &SerialFraming::parityNames()
{
    static const std::vector<std::string> names {"none", "even", "odd"};
    return names;
}

bool SerialFraming::parityFromName(const std::string &name, Parity *parity)
{
    const std::vector<std::string> &names = parityNames();
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] == name) {
            *parity = Parity(i);
            return true;
        }
    }
    return false;
}

std::string SerialFraming::parityName(Parity parity)
{
    return parityNames().at(std::size_t(parity));
}
