// Loads a device description with the installed library and prints its variable count.
#include <velmordevicemodel.h>

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: consumer FILE.yml\n", stderr);
        return 2;
    }
    const VelmorDeviceModel model(QString::fromLocal8Bit(argv[1]));
    if (!model.valid()) {
        std::fprintf(stderr, "consumer: %s does not load\n", argv[1]);
        return 1;
    }
    std::printf("%d\n", model.varCount());
    return 0;
}
