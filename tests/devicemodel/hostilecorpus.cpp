#include "hostilecorpus.h"

namespace {
const QString unableToParse = QStringLiteral("(VelmorDeviceModel) Unable to parse configuration file");
const QString notSpecified = QStringLiteral("(VelmorDeviceModel) Device protocol not specified");
const QString notSupported = QStringLiteral("(VelmorDeviceModel) Device protocol not supported");
const QString noVariables = QStringLiteral("(VelmorDeviceModel) No variables block in configuration file");
const QByteArray validHead = "protocol: ModBUS RTU\n";

// The bytes of a literal that holds NUL bytes, without its terminating NUL.
template <int size>
QByteArray bytesOf(const char (&text)[size])
{
    return QByteArray(text, size - 1);
}

// Fixed pseudo-random bytes without NUL and CR, so the text is the same however it is read.
QByteArray binaryJunk(int size)
{
    QByteArray bytes;
    quint32 state = 1;
    while (bytes.size() < size) {
        state = state * 1103515245u + 12345u;
        const char byte = char((state >> 16) & 0xff);
        if (byte != '\0' && byte != '\r')
            bytes.append(byte);
    }
    return bytes;
}

QByteArray everyByteValue()
{
    QByteArray bytes;
    for (int value = 0; value < 256; ++value)
        bytes.append(char(value));
    return bytes;
}

QByteArray flowNesting(int depth)
{
    return QByteArray(depth, '[') + QByteArray(depth, ']');
}

QByteArray blockNesting(int depth)
{
    QByteArray text;
    for (int level = 0; level < depth; ++level)
        text += QByteArray(level * 2, ' ') + "- \n";
    return text;
}

// Nine levels of nine aliases each: 9^9 leaves if anything expands the aliases.
QByteArray aliasBomb()
{
    QByteArray text = "a: &a [lol, lol, lol, lol, lol, lol, lol, lol, lol]\n";
    for (char level = 'b'; level <= 'j'; ++level) {
        const QByteArray previous = "*" + QByteArray(1, char(level - 1));
        text += QByteArray(1, level) + ": &" + QByteArray(1, level) + " [";
        for (int n = 0; n < 9; ++n)
            text += (n ? ", " : "") + previous;
        text += "]\n";
    }
    return text;
}

QByteArray manyVariables(int count)
{
    QByteArray text = validHead + "variables:\n";
    for (int n = 0; n < count; ++n)
        text += "  - {name: V" + QByteArray::number(n) + ", addr: " + QByteArray::number(n) + "}\n";
    return text;
}

} // namespace

QVector<HostileFile> hostileCorpus()
{
    return {
        {"binary junk read as one scalar", binaryJunk(512), false, notSpecified, 0},
        {"binary junk with a stray map value", binaryJunk(4096), false, unableToParse, 0},
        {"every byte value once", everyByteValue(), false, notSpecified, 0},
        {"NUL bytes before the document",
         bytesOf("\0\0\0protocol: ModBUS RTU\nvariables: []\n"), false, notSpecified, 0},
        {"NUL byte before variables",
         bytesOf("protocol: ModBUS RTU\n\0variables: []\n"), false, noVariables, 0},
        {"top level sequence of descriptions",
         QByteArray("- " + validHead + "  variables: []\n- device: Second\n"), false, notSpecified, 0},
        {"lone UTF-8 continuation bytes", QByteArray("\x80\x80\x80\n"), false, notSpecified, 0},
        {"invalid UTF-8 in the device name",
         QByteArray(validHead + "device: \xff\xfe\xc3\x28\nvariables: []\n"), true, QString(), 0},
        {"invalid UTF-8 in the protocol name",
         QByteArray("protocol: ModBUS RTU\xff\nvariables: []\n"), false, notSupported, 0},
        {"invalid UTF-8 in a variable name",
         QByteArray(validHead + "variables:\n  - {name: \"T\xc3\", addr: 1}\n"), true, QString(), 1},
        {"UTF-8 byte order mark",
         QByteArray("\xef\xbb\xbf" + validHead + "variables: []\n"), true, QString(), 0},
        {"CRLF line ends",
         QByteArray("protocol: ModBUS RTU\r\nvariables:\r\n  - addr: 1\r\n"), true, QString(), 1},
        {"1000 nested flow sequences", flowNesting(1000), false, unableToParse, 0},
        {"1000 nested flow mappings", QByteArray(1000, '{') + QByteArray(1000, '}'), false, unableToParse, 0},
        {"1000 nested block sequences", blockNesting(1000), false, unableToParse, 0},
        {"1000 nested sequences as variables",
         QByteArray(validHead + "variables: " + flowNesting(1000) + "\n"), false, unableToParse, 0},
        {"400 nested sequences as variables",
         QByteArray(validHead + "variables: " + flowNesting(400) + "\n"), true, QString(), 1},
        {"self-referencing alias", QByteArray("a: &a [*a]\n"), false, notSpecified, 0},
        {"variables that contain themselves",
         QByteArray(validHead + "variables: &v [*v]\n"), true, QString(), 1},
        {"variable entry that contains itself",
         QByteArray(validHead + "variables:\n  - &e {addr: 1, name: *e, desc: *e, rw: *e}\n"), true, QString(), 1},
        {"alias bomb without protocol", aliasBomb(), false, notSpecified, 0},
        {"alias bomb beside a description",
         QByteArray(aliasBomb() + validHead + "variables: []\n"), true, QString(), 0},
        {"alias bomb as variables",
         QByteArray(aliasBomb() + validHead + "variables: *j\n"), true, QString(), 9},
        {"alias bomb as attributes",
         QByteArray(aliasBomb() + validHead + "variables:\n  - {addr: *j, name: *j, value: *j, rw: *j}\n"), true,
         QString(), 1},
        {"undefined alias", QByteArray(validHead + "variables: [*nowhere]\n"), false, unableToParse, 0},
        {"one megabyte device name",
         QByteArray(validHead + "device: " + QByteArray(1 << 20, 'x') + "\nvariables: []\n"), true, QString(), 0},
        {"5000 variables", manyVariables(5000), true, QString(), 5000},
        {"explicit tag on the protocol",
         QByteArray("protocol: !!str ModBUS RTU\nvariables: []\n"), true, QString(), 0},
        {"complex mapping key",
         QByteArray("? [a, b]\n: c\n" + validHead + "variables: []\n"), true, QString(), 0},
    };
}
