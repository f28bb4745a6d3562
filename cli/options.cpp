#include "options.h"

#include "velmordevicemodel.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <limits>

namespace {

const char *const helpEpilogue = R"(
Without --watch or --cycles the program connects, reads every variable once and
prints one table row per variable: a mark, address, name, value and description.
A "!" in the first column marks a value that could not be read in that cycle; the
last known value is shown next to it.

Writes (--set, --restore) are sent before the reads of the first cycle, which then
reads the variables back; every value the controller did not take is listed.
--store-flash asks the controller to store its configuration once the writes are
verified (Velmorbus controllers only; Modbus has no such request).

CSV rows: local ISO-8601 time with milliseconds, cycle time in ms, then one column
per variable in file order; a value not read in that cycle is an empty cell. A new
file starts with a header row of the variable names.

--set values are numbers: decimal, 0x... hexadecimal or, with a leading 0, octal
for integer variables; a finite decimal fraction for float32 ones. Integers must fit
the variable (int16: -32768 to 65535; others: 32 bits). Only writable ("rw")
variables can be set, and only by a name no other writable variable has; a refused
--set ends the run before anything is sent.

--dump writes name, address and value of every writable variable whose value was
read, and replaces FILE only once the new one is complete. --restore writes such a
file back to the variables of the same name and address and lists every variable
that could not be written or did not read back as saved; if a saved name and address
fit more than one writable variable, nothing is written. Restore files, like
description files, are refused past 8 MiB.

Errors reported by the device go to stderr as they come.

--block, --gap, --timeout and --retries override the keys of the same name in the
description file. --block N joins neighbouring Modbus variables of one register table
into reads of at most N registers (1 to 125; 0 or 1 reads each variable alone), and
--gap N lets such a read cover up to N unused registers between two variables (0 to
124). --timeout MS is the response timeout of every protocol (10 to 60000; without it
Velmorbus waits 200 ms and Modbus 1000 ms). --retries N sends an unanswered Modbus
request up to N more times (0 to 10); Velmorbus tries once.

--trace prints every frame to stderr as it goes and comes: local time with
milliseconds, ">" for sent or "<" for received, and the bytes in upper-case hex. A
Velmorbus frame is shown whole; a Modbus frame as unit id and PDU (no MBAP header,
no CRC).

--check FILE... reads the description files only, without connecting, and prints
one line per problem: FILE:LINE:COLUMN: error|warning: what. An error is something
the device model refuses or cannot use; a warning is something it reads other than
the writer most likely meant (a misspelt key, a type it never stores, an octal
number). It exits with 0 for clean files, 1 for warnings only, 2 for errors.
docs/description-format.md describes the format.

Exit codes:
  0  every variable was read and every write verified
  1  some variable could not be read, a write was not verified, the flash store
     failed, the dump could not be written, the link was lost, or the run ended
     before any cycle finished
  2  usage error, or a description or restore file that does not load
  3  the connection failed before the first cycle finished
While polling, a failure in any cycle makes the exit code 1.

Examples:
  velmor-cli tags/default.yml
  velmor-cli tags/default.yml --host 192.168.1.20 --tcp-port 502 --id 3
  velmor-cli boiler.yml --port /dev/ttyUSB0 --baudrate 19200
  velmor-cli boiler.yml --watch --interval 5000 --csv boiler.csv --on-change
  velmor-cli boiler.yml --cycles 10 --csv boiler.csv
  velmor-cli boiler.yml --set Mode=3 --set K=2.5 --store-flash
  velmor-cli boiler.yml --dump saved.yml
  velmor-cli boiler.yml --restore saved.yml
  velmor-cli --check boiler.yml pump.yml
)";

struct Parser
{
    QCommandLineParser parser;
    QCommandLineOption port{QStringLiteral("port"), QStringLiteral("Serial port name (serial protocols)."), QStringLiteral("NAME")};
    QCommandLineOption baudRate{QStringLiteral("baudrate"), QStringLiteral("Serial line speed in bits per second."), QStringLiteral("BPS")};
    QCommandLineOption host{QStringLiteral("host"), QStringLiteral("Host name or address (ModBUS TCP)."), QStringLiteral("HOST")};
    QCommandLineOption tcpPort{QStringLiteral("tcp-port"), QStringLiteral("TCP port (ModBUS TCP)."), QStringLiteral("PORT")};
    QCommandLineOption devId{QStringLiteral("id"), QStringLiteral("Device address on the bus."), QStringLiteral("ID")};
    QCommandLineOption queryDelay{QStringLiteral("query-delay"), QStringLiteral("Pause after each variable's reply, in ms (default 50)."), QStringLiteral("MS")};
    QCommandLineOption interval{QStringLiteral("interval"), QStringLiteral("Pause between cycles while polling, in ms (default 1000)."), QStringLiteral("MS")};
    QCommandLineOption watch{QStringLiteral("watch"), QStringLiteral("Keep polling until interrupted (Ctrl+C, SIGTERM); print a table per cycle.")};
    QCommandLineOption cycles{QStringLiteral("cycles"), QStringLiteral("Poll N cycles, then stop."), QStringLiteral("N")};
    QCommandLineOption csv{QStringLiteral("csv"), QStringLiteral("Append one row per finished cycle to FILE."), QStringLiteral("FILE")};
    QCommandLineOption onChange{QStringLiteral("on-change"), QStringLiteral("With --csv: write a row only when a value changed.")};
    QCommandLineOption set{QStringLiteral("set"), QStringLiteral("Write VALUE to the variable NAME, then verify it (repeatable)."), QStringLiteral("NAME=VALUE")};
    QCommandLineOption storeFlash{QStringLiteral("store-flash"), QStringLiteral("Store the controller's configuration to flash after the writes.")};
    QCommandLineOption dump{QStringLiteral("dump"), QStringLiteral("Write the values of all writable variables to FILE (YAML)."), QStringLiteral("FILE")};
    QCommandLineOption restore{QStringLiteral("restore"), QStringLiteral("Write the values of a --dump FILE back and verify them."), QStringLiteral("FILE")};
    QCommandLineOption block{QStringLiteral("block"), QStringLiteral("Modbus: at most N registers a read (0-125)."), QStringLiteral("N")};
    QCommandLineOption gap{QStringLiteral("gap"), QStringLiteral("Modbus: unused registers a read may span (0-124)."), QStringLiteral("N")};
    QCommandLineOption timeout{QStringLiteral("timeout"), QStringLiteral("Response timeout in ms (10-60000)."), QStringLiteral("MS")};
    QCommandLineOption retries{QStringLiteral("retries"), QStringLiteral("Modbus: resend an unanswered request N times (0-10)."), QStringLiteral("N")};
    QCommandLineOption trace{QStringLiteral("trace"), QStringLiteral("Print every frame sent and received to stderr.")};
    QCommandLineOption verbose{QStringLiteral("verbose"), QStringLiteral("Also show the device library's debug log.")};
    QCommandLineOption check{QStringLiteral("check"), QStringLiteral("Check the description files given, without connecting (see below).")};
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help.")};
    QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")}, QStringLiteral("Show the version.")};

    Parser()
    {
        parser.setApplicationDescription(QStringLiteral("Polls a Velmor controller described by a device description file."));
        parser.addOptions({port, baudRate, host, tcpPort, devId, queryDelay, interval, watch, cycles, csv,
                           onChange, set, storeFlash, dump, restore, block, gap, timeout, retries, trace, verbose,
                           check, help, version});
        parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Device description file (*.yml); with --check, one or more."));
    }

    QString helpText() const
    {
        return parser.helpText() + QString::fromUtf8(helpEpilogue);
    }
};

// Reads an integer option; false with the reason in message when it is not one in range.
bool readNumber(const QCommandLineParser &parser, const QCommandLineOption &option, int minimum,
                int *target, QString *message, int maximum = std::numeric_limits<int>::max())
{
    if (!parser.isSet(option))
        return true;
    const QString text = parser.value(option);
    bool ok = false;
    const int number = text.toInt(&ok, 0);
    if (ok && number >= minimum && number <= maximum) {
        *target = number;
        return true;
    }
    if (maximum == std::numeric_limits<int>::max()) {
        *message = QStringLiteral("--%1 needs a whole number of at least %2, not \"%3\"")
                       .arg(option.names().constLast()).arg(minimum).arg(text);
    } else {
        *message = QStringLiteral("--%1 needs a whole number from %2 to %3, not \"%4\"")
                       .arg(option.names().constLast()).arg(minimum).arg(maximum).arg(text);
    }
    return false;
}

bool readAssignments(const QStringList &texts, QVector<Options::Assignment> *assignments, QString *message)
{
    for (const QString &text : texts) {
        const int equals = text.indexOf(QLatin1Char('='));
        if (equals <= 0) {
            *message = QStringLiteral("--set needs NAME=VALUE, not \"%1\"").arg(text);
            return false;
        }
        assignments->append({text.left(equals), text.mid(equals + 1)});
    }
    return true;
}

bool readNumbers(const Parser &p, Options *options, QString *message)
{
    return readNumber(p.parser, p.baudRate, 1, &options->baudRate, message)
        && readNumber(p.parser, p.tcpPort, 1, &options->tcpPort, message)
        && readNumber(p.parser, p.devId, 0, &options->devId, message)
        && readNumber(p.parser, p.queryDelay, 0, &options->queryDelayMs, message)
        && readNumber(p.parser, p.interval, 0, &options->intervalMs, message)
        && readNumber(p.parser, p.cycles, 1, &options->cycles, message)
        && readNumber(p.parser, p.block, 0, &options->blockRegisters, message, VelmorDeviceModel::MaxBlockRegisters)
        && readNumber(p.parser, p.gap, 0, &options->gapRegisters, message, VelmorDeviceModel::MaxGapRegisters)
        && readNumber(p.parser, p.timeout, VelmorDeviceModel::MinResponseTimeoutMs, &options->responseTimeoutMs,
                      message, VelmorDeviceModel::MaxResponseTimeoutMs)
        && readNumber(p.parser, p.retries, 0, &options->retries, message, VelmorDeviceModel::MaxRetries);
}

void readTexts(const Parser &p, Options *options)
{
    options->serialPort = p.parser.value(p.port);
    options->tcpHost = p.parser.value(p.host);
    options->csvFile = p.parser.value(p.csv);
    options->dumpFile = p.parser.value(p.dump);
    options->restoreFile = p.parser.value(p.restore);
    options->watch = p.parser.isSet(p.watch);
    options->onChange = p.parser.isSet(p.onChange);
    options->storeFlash = p.parser.isSet(p.storeFlash);
    options->verbose = p.parser.isSet(p.verbose);
    options->trace = p.parser.isSet(p.trace);
}

// --check reads files only: an option meant for a poll would silently do nothing.
Options::Outcome readCheck(const Parser &p, Options *options, QString *message)
{
    if (p.parser.optionNames().size() > 1) {
        *message = QStringLiteral("--check takes only description files");
        return Options::Outcome::Refused;
    }
    options->checkFiles = p.parser.positionalArguments();
    if (options->checkFiles.isEmpty()) {
        *message = QStringLiteral("no description file given (see --help)");
        return Options::Outcome::Refused;
    }
    return Options::Outcome::Check;
}

} // namespace

Options::Outcome Options::parse(const QStringList &arguments, Options *options, QString *message)
{
    Parser p;
    if (!p.parser.parse(arguments)) {
        *message = p.parser.errorText();
        return Outcome::Refused;
    }
    if (p.parser.isSet(p.help)) {
        *message = p.helpText();
        return Outcome::ShowHelp;
    }
    if (p.parser.isSet(p.version)) {
        *message = QCoreApplication::applicationName() + QLatin1Char(' ') + QCoreApplication::applicationVersion();
        return Outcome::ShowVersion;
    }
    if (p.parser.isSet(p.check))
        return readCheck(p, options, message);
    const QStringList positional = p.parser.positionalArguments();
    if (positional.size() != 1) {
        *message = positional.isEmpty() ? QStringLiteral("no description file given (see --help)")
                                        : QStringLiteral("only one description file can be polled");
        return Outcome::Refused;
    }
    options->descriptionFile = positional.first();
    readTexts(p, options);
    if (!readNumbers(p, options, message) || !readAssignments(p.parser.values(p.set), &options->assignments, message))
        return Outcome::Refused;
    if (options->onChange && options->csvFile.isEmpty()) {
        *message = QStringLiteral("--on-change needs --csv");
        return Outcome::Refused;
    }
    return Outcome::Run;
}

bool Options::polling() const
{
    return watch || cycles > 1;
}
