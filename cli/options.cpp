#include "options.h"

#include "topicnames.h"
#include "velmordevicemodel.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QHash>

#include <algorithm>

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
the variable (int16: -32768 to 32767, int32: 32 bits; a bit field is unsigned, up to
65535 or 4294967295), and the whole value must be the number. Only writable ("rw")
variables can be set, and only by a name no other writable variable has; a refused
--set ends the run before anything is sent.

--dump writes name, address and value of every writable variable whose value was
read, and replaces FILE only once the new one is complete. --restore writes such a
file back to the variables of the same name and address and lists every variable
that could not be written or did not read back as saved; if a saved name and address
fit more than one writable variable, nothing is written. Restore files, like
description files, are refused past 8 MiB.

Errors reported by the device go to stderr as they come; a failed read names the
variables it hit. A controller that lets a whole cycle go by without a value read
is reported once, counts as down (offline on MQTT, velmor_connected 0) and its read
failures stay quiet until a read succeeds again, which is reported once too. Qt's
own Modbus log lines show only with --verbose.

--block, --gap, --timeout and --retries override the keys of the same name in the
description file. --block N joins neighbouring Modbus variables of one register table
into reads of at most N registers (1 to 125; 0 or 1 reads each variable alone), and
--gap N lets such a read cover up to N unused registers between two variables (0 to
124). --timeout MS is the response timeout of every protocol (10 to 60000; without it
Velmorbus waits 200 ms and Modbus 1000 ms). --retries N sends an unanswered Modbus
request up to N more times (0 to 10); Velmorbus tries once.

--parity, --databits and --stopbits set the framing of a serial line (VelmorBUS RTU,
ModBUS RTU): parity none, even or odd, 7 or 8 data bits, 1 or 2 stop bits. They
override the file's "parity", "databits" and "stopbits"; without them the line runs
as the file says, 8N1 when it says nothing.

--word-order ORDER tells how a Modbus controller lays a 32-bit value into two
registers, for the variables that name no "wordorder" of their own: ABCD (upper word
first, each register big-endian), CDAB (lower word first), BADC and DCBA (the same
with the two bytes of each register swapped, int16 too), or legacy (read as ABCD,
written as CDAB). It overrides the file's "wordorder" key; Velmorbus ignores it.

--trace prints every frame to stderr as it goes and comes: local time with
milliseconds, ">" for sent or "<" for received, and the bytes in upper-case hex. A
Velmorbus frame is shown whole; a Modbus frame as unit id and PDU (no MBAP header,
no CRC). With several FILEs, each line starts with the device name and a colon.

Several FILEs are polled at once, each controller with its own link and cycle; a
slow or unreachable one holds up no other. Each is named by its file name without
the suffix (boiler.yml: boiler), which must differ between the files. Tables and
error lines carry that name, and so do CSV rows in a column after the time; --csv
then needs a file name with %d, which stands for the name (--csv /var/log/%d.csv).
--port, --baudrate, --parity, --databits, --stopbits, --host, --tcp-port, --id, --set,
--store-flash, --dump and --restore name one controller and take one FILE; --block, --gap, --timeout,
--retries and --word-order apply to every controller. With several FILEs, --metrics
or --mqtt, --watch keeps going when a controller's link fails or goes away: the
failure is reported once, and the link is opened again after 1 s, then after
pauses that double up to 30 s, until it answers. The exit code is the highest of
the controllers'.

--metrics HOST:PORT serves http://HOST:PORT/metrics for Prometheus (0.0.0.0 for
every interface):
  velmor_value{device,variable,address}           the value read last
  velmor_read_failures_total{device,variable}     failed reads
  velmor_write_failures_total{device,variable}    failed writes
  velmor_cycles_total{device}                     finished cycles
  velmor_cycle_duration_seconds{device}           cycle times (histogram)
  velmor_connected{device}                        1 while the link answers, else 0
  velmor_last_cycle_timestamp_seconds{device}     end of the last finished cycle
A variable whose last read failed has no velmor_value sample until it is read
again, and no variable of a controller whose link is down has one.

--mqtt HOST[:PORT] publishes to a broker (port 1883, or 8883 with --mqtt-tls), one
connection per controller. Under the prefix P (--mqtt-prefix, default velmor):
  P/DEVICE/status                 online or offline (retained; offline is the
                                  last will, and is also sent while the link is down)
  P/DEVICE/VARIABLE               the value, retained, published when it changed
  P/DEVICE/VARIABLE/set           a value published here is written to the variable
  P/DEVICE/VARIABLE/set/result    "ok" once it read back as written, else the reason
DEVICE and VARIABLE are the names with "/", "+", "#", control characters and
non-characters replaced by "_", cut after 200 bytes of UTF-8; variables whose names
meet ("status" is taken) get "@ADDRESS" added, those that still meet ".POSITION"
(their place in the file from 0). A set payload must be wholly a number. Only
writable variables can be set; a set the broker hands out from its retained
messages (as at every reconnect) is not taken.
A broker that is down or goes away holds up neither the polling nor the metrics:
it is reported once and connected to again after pauses of 1 s up to 30 s.

--probe ADDR[:COUNT] reads COUNT raw registers (1 to 125, default 1) from register
ADDR on (0 to 65535, decimal or 0x... hexadecimal), holding registers or with
--input input registers, of a Modbus device that needs no description: the link is
--port with --baudrate, --parity, --databits and --stopbits (ModBUS RTU, 9600 8N1 by
default) or --host with --tcp-port (ModBUS TCP, port 502 by default), the device --id
(default 1); or a description FILE's link keys, which these options override. It
prints each register in hex, unsigned, signed and binary, then each pair of
neighbouring registers as int32, uint32 and float32 in the four word orders side by
side, so that the order a device uses shows. --timeout applies (default 1000 ms); an
unanswered read is not sent again. Exit code 0 when the registers were read, 1 when
the read failed (no answer, an exception named, a line that cannot be opened), 2 for
a usage error.

--check FILE... reads the description files only, without connecting, and prints
one line per problem: FILE:LINE:COLUMN: error|warning: what. An error is something
the device model refuses or cannot use; a warning is something it reads other than
the writer most likely meant (a misspelt key, a type it never stores, an octal
number). It exits with 0 for clean files, 1 for warnings only, 2 for errors.
docs/description-format.md describes the format.

--scan looks for controllers whose address, baud rate or parity is not known. On
a serial line (--port) it tries every address from --first-id to --last-id with
one read each, protocol by protocol (Modbus RTU before Velmorbus) within each
parity, parity by parity within each baud rate, baud rate by baud rate in the
order given. Over TCP (--host, --tcp-port) it tries each Modbus unit id. A normal
answer and a Modbus exception answer both count as a device; nothing is ever
written to a device. Each device is printed on stdout as it is found, one line;
progress goes to stderr while it is a terminal. --write-description FILE writes
a description file of the first device found, with no variables yet. A scan
exits with 0 when it found a device, 1 when it found none or the line failed,
2 on a usage error.

Exit codes:
  0  every variable was read and every write verified
  1  some variable could not be read, a write was not verified, the flash store
     failed, the dump could not be written, the link was lost, or the run ended
     before any cycle finished
  2  usage error, a description or restore file that does not load, a metrics
     address that cannot be served or a broker host that cannot be resolved
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
  velmor-cli --scan --port /dev/ttyUSB0 --baudrates 9600,19200 --parities none,even
  velmor-cli --scan --host 192.168.1.20 --first-id 1 --last-id 10
  velmor-cli --probe 100:4 --port /dev/ttyUSB0 --baudrate 19200 --parity even --id 17
  velmor-cli --probe 0x0200:10 --input --host 192.168.1.20 --id 1
  velmor-cli boiler.yml pump.yml --watch --metrics 0.0.0.0:9464 --mqtt broker.local
)";

struct Parser
{
    QCommandLineParser parser;
    QCommandLineOption port{QStringLiteral("port"), QStringLiteral("Serial port name (serial protocols)."), QStringLiteral("NAME")};
    QCommandLineOption baudRate{QStringLiteral("baudrate"), QStringLiteral("Serial line speed in bits per second."), QStringLiteral("BPS")};
    QCommandLineOption parity{QStringLiteral("parity"), QStringLiteral("Serial line parity: none, even or odd."), QStringLiteral("PARITY")};
    QCommandLineOption dataBits{QStringLiteral("databits"), QStringLiteral("Serial line data bits: 7 or 8."), QStringLiteral("BITS")};
    QCommandLineOption stopBits{QStringLiteral("stopbits"), QStringLiteral("Serial line stop bits: 1 or 2."), QStringLiteral("BITS")};
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
    QCommandLineOption wordOrder{QStringLiteral("word-order"), QStringLiteral("Modbus: how 32-bit values lie in registers (ABCD, CDAB, BADC, DCBA, legacy)."), QStringLiteral("ORDER")};
    QCommandLineOption trace{QStringLiteral("trace"), QStringLiteral("Print every frame sent and received to stderr.")};
    QCommandLineOption verbose{QStringLiteral("verbose"), QStringLiteral("Also show the device library's debug log and Qt's Modbus log.")};
    QCommandLineOption check{QStringLiteral("check"), QStringLiteral("Check the description files given, without connecting (see below).")};
    QCommandLineOption scan{QStringLiteral("scan"), QStringLiteral("Look for controllers on the line of --port or --host (see below).")};
    QCommandLineOption baudRates{QStringLiteral("baudrates"), QStringLiteral("--scan: baud rates to try, in order (default 9600,19200,38400,57600,115200)."), QStringLiteral("LIST")};
    QCommandLineOption parities{QStringLiteral("parities"), QStringLiteral("--scan: parities to try, in order (default none,even)."), QStringLiteral("LIST")};
    QCommandLineOption protocols{QStringLiteral("protocols"), QStringLiteral("--scan: serial protocols to try: modbus, velmorbus (default modbus)."), QStringLiteral("LIST")};
    QCommandLineOption scanAddress{QStringLiteral("scan-address"), QStringLiteral("--scan: the register (or Velmorbus data address) each read asks for (default 0)."), QStringLiteral("N")};
    QCommandLineOption input{QStringLiteral("input"), QStringLiteral("With --scan or --probe: read input registers instead of holding registers.")};
    QCommandLineOption scanTimeout{QStringLiteral("scan-timeout"), QStringLiteral("--scan: wait for each answer, in ms (10-60000, default 50)."), QStringLiteral("MS")};
    QCommandLineOption first{QStringLiteral("first"), QStringLiteral("--scan: stop at the first device found.")};
    QCommandLineOption firstId{QStringLiteral("first-id"), QStringLiteral("--scan: the lowest address tried (default 1)."), QStringLiteral("ID")};
    QCommandLineOption lastId{QStringLiteral("last-id"), QStringLiteral("--scan: the highest address tried (default 247)."), QStringLiteral("ID")};
    QCommandLineOption writeDescription{QStringLiteral("write-description"), QStringLiteral("--scan: write a description file of the first device found to FILE."), QStringLiteral("FILE")};
    QCommandLineOption metrics{QStringLiteral("metrics"), QStringLiteral("Serve Prometheus metrics at http://HOST:PORT/metrics while polling."), QStringLiteral("HOST:PORT")};
    QCommandLineOption mqtt{QStringLiteral("mqtt"), QStringLiteral("Publish the values to an MQTT broker and take writes from it."), QStringLiteral("HOST[:PORT]")};
    QCommandLineOption mqttPrefix{QStringLiteral("mqtt-prefix"), QStringLiteral("First level of every topic (default velmor)."), QStringLiteral("P")};
    QCommandLineOption mqttUser{QStringLiteral("mqtt-user"), QStringLiteral("User name at the broker."), QStringLiteral("NAME")};
    QCommandLineOption mqttPasswordFile{QStringLiteral("mqtt-password-file"), QStringLiteral("Password at the broker: the first line of FILE."), QStringLiteral("FILE")};
    QCommandLineOption mqttTls{QStringLiteral("mqtt-tls"), QStringLiteral("Talk TLS to the broker, trusting the certificate authorities in CAFILE."), QStringLiteral("CAFILE")};
    QCommandLineOption probe{QStringLiteral("probe"), QStringLiteral("Read COUNT raw Modbus registers from ADDR on and show them in every format (see below)."), QStringLiteral("ADDR[:COUNT]")};
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help.")};
    QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")}, QStringLiteral("Show the version.")};

    Parser()
    {
        parser.setApplicationDescription(QStringLiteral("Polls a Velmor controller described by a device description file."));
        parser.addOptions({port, baudRate, parity, dataBits, stopBits, host, tcpPort, devId, queryDelay, interval, watch, cycles, csv,
                           onChange, set, storeFlash, dump, restore, block, gap, timeout, retries, wordOrder, trace,
                           verbose,
                           check, scan, baudRates, parities, protocols, scanAddress, input, scanTimeout, first, firstId,
                           lastId, writeDescription, probe, metrics, mqtt, mqttPrefix, mqttUser, mqttPasswordFile, mqttTls, help, version});
        parser.addPositionalArgument(QStringLiteral("FILE..."), QStringLiteral("Device description files (*.yml), one for each controller."));
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

// One of the names the model takes for a setting, as the option gives it.
bool readChoice(const Parser &p, const QCommandLineOption &option, const QStringList &names, QString *target,
                QString *message)
{
    if (!p.parser.isSet(option))
        return true;
    const QString value = p.parser.value(option);
    if (!names.contains(value)) {
        *message = QStringLiteral("--%1 needs one of %2, not \"%3\"")
                       .arg(option.names().constLast(), names.join(QStringLiteral(", ")), value);
        return false;
    }
    *target = value;
    return true;
}

bool readWordOrder(const Parser &p, Options *options, QString *message)
{
    return readChoice(p, p.wordOrder, VelmorDeviceModel::wordOrderNames(), &options->wordOrder, message);
}

bool readParity(const Parser &p, Options *options, QString *message)
{
    return readChoice(p, p.parity, VelmorDeviceModel::parityNames(), &options->parity, message);
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
        && readNumber(p.parser, p.dataBits, 7, &options->dataBits, message, 8)
        && readNumber(p.parser, p.stopBits, 1, &options->stopBits, message, 2)
        && readNumber(p.parser, p.tcpPort, 1, &options->tcpPort, message, 0xFFFF)
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
    options->mqttPrefix = p.parser.isSet(p.mqttPrefix) ? p.parser.value(p.mqttPrefix) : QStringLiteral("velmor");
    options->mqttUser = p.parser.value(p.mqttUser);
    options->mqttPasswordFile = p.parser.value(p.mqttPasswordFile);
    options->mqttCaFile = p.parser.value(p.mqttTls);
}

// HOST:PORT, the host of an IPv6 address in brackets; without a port when portOptional.
bool splitHostPort(const QString &text, bool portOptional, QString *host, int *port)
{
    const bool bracketed = text.startsWith(QLatin1Char('['));
    const int hostEnd = bracketed ? text.indexOf(QLatin1Char(']')) : text.lastIndexOf(QLatin1Char(':'));
    const int colon = bracketed ? hostEnd + 1 : hostEnd;
    const bool hasPort = colon > 0 && colon < text.size() && text.at(colon) == QLatin1Char(':');
    if (!hasPort && !portOptional)
        return false;
    if (bracketed && hostEnd < 0)
        return false;
    *host = bracketed ? text.mid(1, hostEnd - 1) : (hasPort ? text.left(colon) : text);
    if (hasPort) {
        bool ok = false;
        *port = text.mid(colon + 1).toInt(&ok);
        if (!ok || *port < 1 || *port > 0xFFFF)
            return false;
    } else if (bracketed && hostEnd != text.size() - 1) {
        return false;
    }
    return !host->isEmpty();
}

bool readEndpoints(const Parser &p, Options *options, QString *message)
{
    if (p.parser.isSet(p.metrics)
        && !splitHostPort(p.parser.value(p.metrics), false, &options->metricsHost, &options->metricsPort)) {
        *message = QStringLiteral("--metrics needs HOST:PORT, not \"%1\"").arg(p.parser.value(p.metrics));
        return false;
    }
    if (p.parser.isSet(p.mqtt) && !splitHostPort(p.parser.value(p.mqtt), true, &options->mqttHost, &options->mqttPort)) {
        *message = QStringLiteral("--mqtt needs HOST or HOST:PORT, not \"%1\"").arg(p.parser.value(p.mqtt));
        return false;
    }
    return true;
}

// The options that name one controller's link or values.
QStringList singleDeviceOptions(const Parser &p)
{
    QStringList names;
    for (const QCommandLineOption *option : {&p.port, &p.baudRate, &p.parity, &p.dataBits, &p.stopBits, &p.host, &p.tcpPort, &p.devId, &p.set,
                                             &p.storeFlash, &p.dump, &p.restore}) {
        if (p.parser.isSet(*option))
            names.append(QStringLiteral("--") + option->names().constLast());
    }
    return names;
}

bool checkSeveralDevices(const Parser &p, const Options &options, QString *message)
{
    const QStringList single = singleDeviceOptions(p);
    if (!single.isEmpty()) {
        *message = QStringLiteral("%1 applies to one controller; give one description file").arg(single.first());
        return false;
    }
    if (!options.csvFile.isEmpty() && !options.csvFile.contains(QLatin1String("%d"))) {
        *message = QStringLiteral("with several description files --csv needs a name with %d for the device, "
                                  "as in log-%d.csv");
        return false;
    }
    return true;
}

// Tables, files, series and topics tell the devices apart by name; topics by the
// name as a topic level.
bool checkDeviceNames(const Options &options, QString *message)
{
    QHash<QString, QString> fileByName;
    for (const QString &file : options.descriptionFiles) {
        const QString name = options.mqttHost.isEmpty() ? Options::deviceName(file)
                                                        : TopicNames::level(Options::deviceName(file));
        if (fileByName.contains(name)) {
            *message = QStringLiteral("%1 and %2 would both be named %3; give each controller a file name of its own")
                           .arg(fileByName.value(name), file, name);
            return false;
        }
        fileByName.insert(name, file);
    }
    return true;
}

bool checkPrefix(const QString &prefix, QString *message)
{
    const bool badCharacter = std::any_of(prefix.cbegin(), prefix.cend(), [](QChar c) {
        return c == QLatin1Char('+') || c == QLatin1Char('#') || c.category() == QChar::Other_Control;
    });
    if (prefix.isEmpty() || badCharacter || prefix.startsWith(QLatin1Char('$'))) {
        *message = QStringLiteral("--mqtt-prefix cannot be empty, start with $ or hold +, # or control characters");
        return false;
    }
    return true;
}

bool checkServiceOptions(const Parser &p, const Options &options, QString *message)
{
    for (const QCommandLineOption *option : {&p.mqttPrefix, &p.mqttUser, &p.mqttPasswordFile, &p.mqttTls}) {
        if (p.parser.isSet(*option) && options.mqttHost.isEmpty()) {
            *message = QStringLiteral("--%1 needs --mqtt").arg(option->names().constLast());
            return false;
        }
    }
    if (!options.mqttPasswordFile.isEmpty() && options.mqttUser.isEmpty()) {
        *message = QStringLiteral("--mqtt-password-file needs --mqtt-user");
        return false;
    }
    const bool served = !options.metricsHost.isEmpty() || !options.mqttHost.isEmpty();
    if (served && !options.watch && options.cycles == 0) {
        *message = QStringLiteral("--metrics and --mqtt need --watch or --cycles");
        return false;
    }
    return options.mqttHost.isEmpty() || checkPrefix(options.mqttPrefix, message);
}

// What no single option can check alone.
bool checkCombinations(const Parser &p, const Options &options, QString *message)
{
    if (options.onChange && options.csvFile.isEmpty()) {
        *message = QStringLiteral("--on-change needs --csv");
        return false;
    }
    if (options.severalDevices() && !checkSeveralDevices(p, options, message))
        return false;
    return checkDeviceNames(options, message) && checkServiceOptions(p, options, message);
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

// The options that mean something only to a scan.
QVector<const QCommandLineOption *> scanOptions(const Parser &p)
{
    return {&p.baudRates, &p.parities, &p.protocols, &p.scanAddress, &p.input, &p.scanTimeout, &p.first, &p.firstId,
            &p.lastId, &p.writeDescription};
}

bool checkScanOptionsAbsent(const Parser &p, QString *message)
{
    for (const QCommandLineOption *option : scanOptions(p)) {
        if (option != &p.input && p.parser.isSet(*option)) {
            *message = QStringLiteral("--%1 needs --scan").arg(option->names().constLast());
            return false;
        }
    }
    return true;
}

// A scan reads one line and no description file: a poll's options would do nothing.
bool checkScanOnlyOptions(const Parser &p, QString *message)
{
    QVector<const QCommandLineOption *> allowed = scanOptions(p);
    allowed << &p.scan << &p.port << &p.host << &p.tcpPort << &p.dataBits << &p.stopBits << &p.verbose;
    for (const QString &name : p.parser.optionNames()) {
        const bool known = std::any_of(allowed.cbegin(), allowed.cend(),
                                       [&name](const QCommandLineOption *option) { return option->names().contains(name); });
        if (!known) {
            *message = QStringLiteral("--%1 does not apply to --scan").arg(name);
            return false;
        }
    }
    if (!p.parser.positionalArguments().isEmpty()) {
        *message = QStringLiteral("--scan takes no description file");
        return false;
    }
    return true;
}

// ADDR[:COUNT] of --probe, each a whole number, decimal or 0x... hexadecimal.
bool readProbeRange(const QString &text, Options *options, QString *message)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    bool addressOk = false;
    bool countOk = true;
    const int address = parts.first().toInt(&addressOk, 0);
    const int count = parts.size() == 2 ? parts.last().toInt(&countOk, 0) : 1;
    if (parts.size() > 2 || !addressOk || !countOk || address < 0 || address > 0xFFFF) {
        *message = QStringLiteral("--probe needs ADDR or ADDR:COUNT, a register from 0 to 65535, not \"%1\"").arg(text);
        return false;
    }
    if (count < 1 || count > VelmorDeviceModel::MaxBlockRegisters) {
        *message = QStringLiteral("--probe reads 1 to %1 registers at once, not %2")
                       .arg(int(VelmorDeviceModel::MaxBlockRegisters)).arg(count);
        return false;
    }
    if (address + count > 0x10000) {
        *message = QStringLiteral("--probe: registers %1 to %2 go past 65535").arg(address).arg(address + count - 1);
        return false;
    }
    options->probeFirstRegister = address;
    options->probeCount = count;
    return true;
}

// The probe reads one device over the link the options or one description file give;
// an option meant for a poll would silently do nothing.
bool checkProbeOptions(const Parser &p, const Options &options, QString *message)
{
    const QList<const QCommandLineOption *> probeOptions {&p.probe, &p.input, &p.port, &p.baudRate, &p.parity,
                                                          &p.dataBits, &p.stopBits, &p.host, &p.tcpPort, &p.devId,
                                                          &p.timeout, &p.verbose};
    for (const QString &name : p.parser.optionNames()) {
        const bool known = std::any_of(probeOptions.cbegin(), probeOptions.cend(), [&name](const QCommandLineOption *option) {
            return option->names().contains(name);
        });
        if (!known) {
            *message = QStringLiteral("--%1 does not go with --probe").arg(name);
            return false;
        }
    }
    if (options.descriptionFiles.size() > 1) {
        *message = QStringLiteral("--probe reads one device; give at most one description file");
        return false;
    }
    if (options.descriptionFiles.isEmpty() && options.serialPort.isEmpty() == options.tcpHost.isEmpty()) {
        *message = QStringLiteral("--probe needs a description file, or either --port or --host");
        return false;
    }
    return true;
}

// A comma list of numbers in range.
bool readNumberList(const Parser &p, const QCommandLineOption &option, int minimum, QVector<int> *target, QString *message)
{
    if (!p.parser.isSet(option))
        return true;
    QVector<int> numbers;
    for (const QString &text : p.parser.value(option).split(QLatin1Char(','))) {
        bool ok = false;
        const int number = text.trimmed().toInt(&ok);
        if (!ok || number < minimum) {
            *message = QStringLiteral("--%1 needs a comma list of whole numbers of at least %2, not \"%3\"")
                           .arg(option.names().constLast()).arg(minimum).arg(p.parser.value(option));
            return false;
        }
        numbers.append(number);
    }
    *target = numbers;
    return true;
}

// A comma list of names, each one of those allowed.
bool readNameList(const Parser &p, const QCommandLineOption &option, const QStringList &allowed, QStringList *target,
                  QString *message)
{
    if (!p.parser.isSet(option))
        return true;
    const QStringList names = p.parser.value(option).split(QLatin1Char(','));
    for (const QString &name : names) {
        if (!allowed.contains(name)) {
            *message = QStringLiteral("--%1 needs a comma list of %2, not \"%3\"")
                           .arg(option.names().constLast(), allowed.join(QStringLiteral(", ")), p.parser.value(option));
            return false;
        }
    }
    *target = names;
    return true;
}

bool readScanLine(const Parser &p, ScanPlan *plan, QString *message)
{
    if (p.parser.isSet(p.host)) {
        for (const QCommandLineOption *option : {&p.port, &p.baudRates, &p.parities, &p.protocols, &p.dataBits, &p.stopBits}) {
            if (p.parser.isSet(*option)) {
                *message = QStringLiteral("--%1 does not apply to a scan over TCP").arg(option->names().constLast());
                return false;
            }
        }
        plan->tcpHost = p.parser.value(p.host);
        plan->protocols = {ScanPlan::Protocol::ModbusTcp};
        return readNumber(p.parser, p.tcpPort, 1, &plan->tcpPort, message, 0xFFFF);
    }
    if (!p.parser.isSet(p.port)) {
        *message = QStringLiteral("--scan needs --port or --host");
        return false;
    }
    if (p.parser.isSet(p.tcpPort)) {
        *message = QStringLiteral("--tcp-port needs --host");
        return false;
    }
    plan->serialPort = p.parser.value(p.port);
    QStringList parities(plan->parities.cbegin(), plan->parities.cend());
    QStringList protocols{QStringLiteral("modbus")};
    if (!readNumberList(p, p.baudRates, 1, &plan->baudRates, message)
        || !readNameList(p, p.parities, VelmorDeviceModel::parityNames(), &parities, message)
        || !readNameList(p, p.protocols, {QStringLiteral("modbus"), QStringLiteral("velmorbus")}, &protocols, message)
        || !readNumber(p.parser, p.dataBits, 7, &plan->dataBits, message, 8)
        || !readNumber(p.parser, p.stopBits, 1, &plan->stopBits, message, 2))
        return false;
    plan->parities = QVector<QString>(parities.cbegin(), parities.cend());
    plan->protocols.clear();
    for (const QString &name : protocols)
        plan->protocols.append(name == QLatin1String("velmorbus") ? ScanPlan::Protocol::VelmorbusRtu : ScanPlan::Protocol::ModbusRtu);
    return true;
}

bool readScanRange(const Parser &p, ScanPlan *plan, QString *message)
{
    const int maxAddress = 255;
    if (!readNumber(p.parser, p.firstId, 0, &plan->firstAddress, message, maxAddress)
        || !readNumber(p.parser, p.lastId, 0, &plan->lastAddress, message, maxAddress)
        || !readNumber(p.parser, p.scanAddress, 0, &plan->probeAddress, message, 0xFFFF)
        || !readNumber(p.parser, p.scanTimeout, VelmorDeviceModel::MinResponseTimeoutMs, &plan->timeoutMs, message,
                       VelmorDeviceModel::MaxResponseTimeoutMs))
        return false;
    if (plan->firstAddress > plan->lastAddress) {
        *message = QStringLiteral("--first-id %1 is above --last-id %2").arg(plan->firstAddress).arg(plan->lastAddress);
        return false;
    }
    return true;
}

Options::Outcome readScan(const Parser &p, Options *options, QString *message)
{
    ScanPlan &plan = options->scanPlan;
    if (!checkScanOnlyOptions(p, message) || !readScanLine(p, &plan, message) || !readScanRange(p, &plan, message))
        return Options::Outcome::Refused;
    plan.inputRegisters = p.parser.isSet(p.input);
    plan.stopAtFirstFind = p.parser.isSet(p.first);
    options->skeletonFile = p.parser.value(p.writeDescription);
    options->verbose = p.parser.isSet(p.verbose);
    return Options::Outcome::Scan;
}

Options::Outcome readProbe(const Parser &p, Options *options, QString *message)
{
    options->descriptionFiles = p.parser.positionalArguments();
    readTexts(p, options);
    options->probeInputRegisters = p.parser.isSet(p.input);
    if (!readProbeRange(p.parser.value(p.probe), options, message) || !readNumbers(p, options, message)
        || !readParity(p, options, message) || !checkProbeOptions(p, *options, message))
        return Options::Outcome::Refused;
    return Options::Outcome::Probe;
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
    if (p.parser.isSet(p.scan))
        return readScan(p, options, message);
    if (p.parser.isSet(p.probe))
        return readProbe(p, options, message);
    if (p.parser.isSet(p.input)) {
        *message = QStringLiteral("--input needs --probe or --scan");
        return Outcome::Refused;
    }
    if (!checkScanOptionsAbsent(p, message))
        return Outcome::Refused;
    options->descriptionFiles = p.parser.positionalArguments();
    if (options->descriptionFiles.isEmpty()) {
        *message = QStringLiteral("no description file given (see --help)");
        return Outcome::Refused;
    }
    readTexts(p, options);
    if (!readNumbers(p, options, message) || !readWordOrder(p, options, message) || !readParity(p, options, message)
        || !readAssignments(p.parser.values(p.set), &options->assignments, message)
        || !readEndpoints(p, options, message) || !checkCombinations(p, *options, message))
        return Outcome::Refused;
    return Outcome::Run;
}

bool Options::polling() const
{
    return watch || cycles > 1;
}

bool Options::severalDevices() const
{
    return descriptionFiles.size() > 1;
}

bool Options::keepsReconnecting() const
{
    return watch && (severalDevices() || !metricsHost.isEmpty() || !mqttHost.isEmpty());
}

QString Options::csvFileFor(const QString &deviceName) const
{
    QString fileName = csvFile;
    return fileName.replace(QLatin1String("%d"), deviceName);
}

QString Options::deviceName(const QString &descriptionFile)
{
    return QFileInfo(descriptionFile).completeBaseName();
}
