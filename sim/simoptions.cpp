#include "simoptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>

bool SimOptions::parse(const QCoreApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Plays the controller of a device description file over the protocol it names\n"
        "(\"ModBUS TCP\", \"ModBUS RTU\" or \"VelmorBUS RTU\") and prints every request and answer."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("Device description file (*.yml)."));
    const QCommandLineOption listenOption(QStringLiteral("listen"),
        QStringLiteral("Modbus TCP: address and port to listen on (default: the file's \"host\" and \"port\")."),
        QStringLiteral("host:port"));
    const QCommandLineOption portOption(QStringLiteral("port"),
        QStringLiteral("Serial protocols: serve this existing serial port (default: the file's \"port\")."),
        QStringLiteral("name"));
    const QCommandLineOption ptyOption(QStringLiteral("pty"),
        QStringLiteral("Serial protocols: create a pseudo-terminal and make this path a symbolic link to it."),
        QStringLiteral("link"));
    const QCommandLineOption stillOption(QStringLiteral("static"),
        QStringLiteral("Keep read-only values fixed instead of letting them change over time."));
    const QCommandLineOption faultRateOption(QStringLiteral("fault-rate"),
        QStringLiteral("Share of requests, 0 to 1, whose answer goes wrong (default 0)."), QStringLiteral("p"));
    const QCommandLineOption faultsOption(QStringLiteral("faults"),
        QStringLiteral("Comma list of faults to inject: silence, wrong-id, bad-crc, short, bad-status (Velmorbus: "
                       "bad-status answers status 0x30), exception (Modbus)."),
        QStringLiteral("list"));
    const QCommandLineOption exceptionCodeOption(QStringLiteral("exception-code"),
        QStringLiteral("Modbus exception code of the exception fault (default 4)."), QStringLiteral("n"), QStringLiteral("4"));
    const QCommandLineOption delayOption(QStringLiteral("delay"),
        QStringLiteral("Wait this many milliseconds before each answer."), QStringLiteral("ms"), QStringLiteral("0"));
    const QCommandLineOption unusedOption(QStringLiteral("unused-registers"),
        QStringLiteral("Modbus: how a read that takes in registers no variable uses is answered: \"exception\" "
                       "(exception 0x02, illegal data address; the default) or \"zero\" (they read as 0). "
                       "Reads may span several variables either way."),
        QStringLiteral("exception|zero"), QStringLiteral("exception"));
    const QCommandLineOption seedOption(QStringLiteral("seed"),
        QStringLiteral("Seed of the fault injector's random source, for reproducible runs."), QStringLiteral("n"));
    const QCommandLineOption checkOption(QStringLiteral("check"),
        QStringLiteral("Check the description file as velmor-cli --check does, print one line per problem\n"
                       "(FILE:LINE:COLUMN: error|warning: what) and end: 0 clean, 1 warnings only, 2 errors."));
    parser.addOptions({ listenOption, portOption, ptyOption, stillOption, faultRateOption, faultsOption,
                        exceptionCodeOption, delayOption, unusedOption, seedOption, checkOption });
    parser.process(app);

    if (parser.positionalArguments().size() != 1)
        return fail(QStringLiteral("give exactly one device description file (see --help)"));
    descriptionFile = parser.positionalArguments().constFirst();
    checkOnly = parser.isSet(checkOption);
    serialPort = parser.value(portOption);
    ptyLink = parser.value(ptyOption);
    isStatic = parser.isSet(stillOption);
    if (!serialPort.isEmpty() && !ptyLink.isEmpty())
        return fail(QStringLiteral("--port and --pty exclude each other"));
    if (parser.isSet(listenOption) && !parseListen(parser.value(listenOption)))
        return false;

    bool ok = true;
    if (parser.isSet(faultRateOption)) {
        faultRate = parser.value(faultRateOption).toDouble(&ok);
        if (!ok || faultRate < 0 || faultRate > 1)
            return fail(QStringLiteral("--fault-rate takes a number from 0 to 1"));
    }
    if (parser.isSet(faultsOption) && !parseFaults(parser.value(faultsOption)))
        return false;
    if (faultRate > 0 && faults.isEmpty())
        return fail(QStringLiteral("--fault-rate needs --faults"));
    exceptionCode = parser.value(exceptionCodeOption).toInt(&ok, 0);
    if (!ok || exceptionCode < 1 || exceptionCode > 0x7F)
        return fail(QStringLiteral("--exception-code takes a number from 1 to 127"));
    delayMs = parser.value(delayOption).toInt(&ok);
    if (!ok || delayMs < 0)
        return fail(QStringLiteral("--delay takes a number of milliseconds"));
    const QString unused = parser.value(unusedOption);
    if (unused != QLatin1String("exception") && unused != QLatin1String("zero"))
        return fail(QStringLiteral("--unused-registers takes \"exception\" or \"zero\", not \"%1\"").arg(unused));
    unusedRegistersReadZero = unused == QLatin1String("zero");
    hasSeed = parser.isSet(seedOption);
    if (hasSeed) {
        seed = parser.value(seedOption).toUInt(&ok, 0);
        if (!ok)
            return fail(QStringLiteral("--seed takes an unsigned 32-bit number"));
    }
    return true;
}

bool SimOptions::parseListen(const QString &text)
{
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    bool ok = false;
    listenPort = text.mid(colon + 1).toInt(&ok);
    listenHost = text.left(colon);
    if (colon <= 0 || !ok || listenPort < 0 || listenPort > 0xFFFF)
        return fail(QStringLiteral("--listen takes HOST:PORT, not \"%1\"").arg(text));
    return true;
}

bool SimOptions::parseFaults(const QString &text)
{
    faults.clear();
    const QStringList names = text.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString &name : names) {
        FaultInjector::Fault fault;
        if (!FaultInjector::fromName(name.trimmed(), &fault))
            return fail(QStringLiteral("unknown fault \"%1\" (known: silence, wrong-id, bad-crc, short, "
                                       "bad-status, exception)").arg(name.trimmed()));
        faults.append(fault);
    }
    return true;
}

bool SimOptions::fail(const QString &message)
{
    m_errorString = message;
    return false;
}
