#include "documentchecker.h"

#include "descriptionfile.h"
#include "documentroots.h"
#include "descriptionscalar.h"
#include "findings.h"
#include "keycatalog.h"
#include "mappingindex.h"
#include "scalarreading.h"
#include "textscan.h"
#include "variablechecker.h"

#include <QStringList>

#include <yaml-cpp/yaml.h>

#include <algorithm>
#include <limits>

using KeyCatalog::Level;
using ScalarReading::shown;

namespace {

const YAML::Mark startOfFile = YAML::Mark::null_mark();

// The mark of a byte offset: lines and columns from 0, columns in bytes.
YAML::Mark markAt(const std::string &text, std::size_t offset)
{
    YAML::Mark mark;
    mark.pos = int(offset);
    mark.line = int(std::count(text.begin(), text.begin() + std::ptrdiff_t(offset), '\n'));
    const std::size_t lastLineEnd = offset == 0 ? std::string::npos : text.rfind('\n', offset - 1);
    mark.column = int(lastLineEnd == std::string::npos ? offset : offset - lastLineEnd - 1);
    return mark;
}

// Only a line that starts with a document marker can begin a second document.
bool mayHoldSeveralDocuments(const std::string &text)
{
    return text.find("\n---") != std::string::npos || text.find("\n...") != std::string::npos;
}

} // namespace

DocumentChecker::DocumentChecker(Findings *findings)
    : m_findings(findings)
{
}

void DocumentChecker::check(const std::string &text)
{
    DescriptionFile file;
    if (file.parse(text) == DescriptionFile::Outcome::CannotParse) {
        const DescriptionFile::ParseFailure &failure = file.parseFailure();
        if (failure.syntax)
            m_findings->error(failure.place, QStringLiteral("YAML syntax: %1: the model refuses the file").arg(failure.message));
        else
            m_findings->error(startOfFile, QStringLiteral("cannot parse the file: %1").arg(failure.message));
        return;
    }
    checkCharacters(text);
    checkLaterDocuments(text);
    checkRoot(file);
}

void DocumentChecker::checkCharacters(const std::string &text)
{
    const TextScan::Finding finding = TextScan::firstProblem(text);
    if (finding.problem == TextScan::Problem::NotUtf8)
        m_findings->warning(markAt(text, finding.offset), QStringLiteral("the file is not UTF-8 text here: the model "
                                                                         "shows a replacement character, editors may "
                                                                         "refuse the file"));
    if (finding.problem != TextScan::Problem::ForbiddenCharacter)
        return;
    const QString code = QStringLiteral("%1").arg(uint(finding.character), 4, 16, QLatin1Char('0')).toUpper();
    m_findings->warning(markAt(text, finding.offset), QStringLiteral("control character U+%1, which YAML forbids: the "
                                                                     "model takes it, editors may refuse the file").arg(code));
}

void DocumentChecker::checkLaterDocuments(const std::string &text)
{
    if (!mayHoldSeveralDocuments(text))
        return;
    try {
        const std::vector<DocumentRoots::Root> documents = DocumentRoots::of(text);
        if (documents.size() > 1 && !documents.at(1).null)
            m_findings->warning(documents.at(1).mark, QStringLiteral("a second YAML document starts here: the model "
                                                                       "reads only the first"));
    } catch (const YAML::Exception &exception) {
        m_findings->warning(exception.mark, QStringLiteral("YAML syntax: %1, in a later document, which the model does "
                                                           "not read").arg(QString::fromStdString(exception.msg)));
    } catch (const std::exception &) {
        // The first document, the one the model reads, parsed; the rest is not its concern.
    }
}

void DocumentChecker::checkRoot(const DescriptionFile &file)
{
    m_file = &file;
    const YAML::Node root = file.root();
    if (root.IsNull()) {
        m_findings->error(startOfFile, QStringLiteral("the file holds no keys: the model refuses it for want of a "
                                                      "\"protocol\""));
        return;
    }
    if (!root.IsMap()) {
        m_findings->error(root.Mark(), QStringLiteral("the top level is %1, not a mapping of keys: the model refuses "
                                                      "the file").arg(shown(root)));
        return;
    }
    const MappingIndex keys(root, m_findings);
    checkProtocol(file, keys);
    checkKeys(keys);
    checkText(keys, "device");
    checkLinkSettings(keys);
    checkLinkTuning(keys);
    checkWordOrder(keys);
    checkVariables(file, keys);
}

void DocumentChecker::checkProtocol(const DescriptionFile &file, const MappingIndex &keys)
{
    const MappingIndex::Entry *protocol = keys.find("protocol");
    if (!protocol) {
        m_findings->error(file.root().Mark(), QStringLiteral("no \"protocol\": the model refuses the file"));
        return;
    }
    const ProtocolTraits *traits = file.protocolTraits();
    if (traits && !traits->supported) {
        m_findings->errorAt(protocol->keyNode, protocol->value,
                            QStringLiteral("\"%1\" is not supported yet: the model refuses the file")
                                .arg(QLatin1String(traits->name)));
        return;
    }
    m_protocol = traits;
    if (m_protocol)
        return;
    const QString like = KeyCatalog::protocolLike(file.protocolName());
    const QString hint = like.isEmpty() ? QString() : QStringLiteral(" (did you mean \"%1\"?)").arg(like);
    m_findings->errorAt(protocol->keyNode, protocol->value,
                        QStringLiteral("unknown protocol %1: the model refuses the file; it knows \"VelmorBUS RTU\", "
                                       "\"ModBUS RTU\" and \"ModBUS TCP\"%2").arg(shown(protocol->value), hint));
}

void DocumentChecker::checkKeys(const MappingIndex &keys)
{
    for (const MappingIndex::Entry &entry : keys.entries()) {
        if (KeyCatalog::isKnown(entry.key, Level::TopLevel))
            continue;
        if (KeyCatalog::isMergeKey(entry.key)) {
            m_findings->warning(entry.keyNode.Mark(), KeyCatalog::mergeKeyFinding());
            continue;
        }
        if (KeyCatalog::isKnown(entry.key, Level::Variable)) {
            m_findings->warning(entry.keyNode.Mark(), QStringLiteral("%1 belongs in a variable entry: at the top level "
                                                                     "the model ignores it").arg(shown(entry.key)));
            continue;
        }
        const QString nearest = KeyCatalog::nearestKey(entry.key, Level::TopLevel);
        if (!nearest.isEmpty())
            m_findings->warning(entry.keyNode.Mark(), QStringLiteral("unknown key %1: did you mean \"%2\"?")
                                                          .arg(shown(entry.key), nearest));
    }
}

void DocumentChecker::checkText(const MappingIndex &keys, const char *key)
{
    const MappingIndex::Entry *text = keys.find(key);
    if (!text)
        return;
    if (!ScalarReading::isText(text->value))
        m_findings->warningAt(text->keyNode, text->value, QStringLiteral("\"%1\" is %2, not a text: the model takes it "
                                                                         "as empty").arg(QLatin1String(key), shown(text->value)));
}

void DocumentChecker::checkNotReadHere(const MappingIndex &keys, const char *key, const QString &readBy)
{
    if (const MappingIndex::Entry *entry = keys.find(key))
        m_findings->warning(entry->keyNode.Mark(), QStringLiteral("\"%1\" is read only for %2: the model ignores it "
                                                                  "here").arg(QLatin1String(key), readBy));
}

void DocumentChecker::checkLinkSettings(const MappingIndex &keys)
{
    int unused = 0;
    if (!m_protocol)
        return;
    if (m_protocol->isSerial()) {
        checkText(keys, "port");
        checkInteger(keys, "baudrate", 1, std::numeric_limits<int>::max(), QStringLiteral("the model uses 115200"), &unused);
        checkNotReadHere(keys, "host", QStringLiteral("ModBUS TCP"));
        checkFraming(keys);
    } else {
        checkText(keys, "host");
        checkInteger(keys, "port", 1, 0xFFFF, QStringLiteral("the model uses 502"), &unused);
        for (const char *key : {"baudrate", "parity", "databits", "stopbits"})
            checkNotReadHere(keys, key, QStringLiteral("the serial protocols"));
    }
    checkDeviceAddress(keys);
}

void DocumentChecker::checkFraming(const MappingIndex &keys)
{
    int unused = 0;
    const QString refused = QStringLiteral("the model refuses the file");
    checkInteger(keys, "databits", SerialFraming::MinDataBits, SerialFraming::MaxDataBits, refused, &unused);
    checkInteger(keys, "stopbits", SerialFraming::MinStopBits, SerialFraming::MaxStopBits, refused, &unused);
    const KeyField<SerialFraming::Parity> &parity = m_file->parity();
    if (!parity.isUnreadable())
        return;
    const YAML::Node written = keys.find("parity")->value;
    const QString text = DescriptionScalar::scalarText(written);
    QStringList names;
    for (const std::string &name : SerialFraming::parityNames())
        names.append(QString::fromStdString(name));
    const QString choices = names.mid(0, names.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" or ")
                            + names.last();
    QString finding = QStringLiteral("\"parity\" is %1, not %2: %3").arg(shown(written), choices, refused);
    for (const QString &name : qAsConst(names)) {
        if (name.compare(text, Qt::CaseInsensitive) == 0)
            finding += QStringLiteral(" (did you mean \"%1\"?)").arg(name);
    }
    m_findings->error(parity.place, finding);
}

bool DocumentChecker::checkInteger(const MappingIndex &keys, const char *key, int minimum, int maximum,
                                      const QString &unreadableOutcome, int *value)
{
    const KeyField<int> &setting = *m_file->integerSetting(key);
    if (!setting.isPresent())
        return false;
    const YAML::Node written = keys.find(key)->value;
    long long wide = 0;
    if (!DescriptionScalar::readLongLong(written, &wide)) {
        m_findings->error(setting.place, QStringLiteral("\"%1\" is %2, not an integer: %3")
                                             .arg(QLatin1String(key), shown(written), unreadableOutcome));
        return false;
    }
    if (!setting.isRead() || setting.value < minimum || setting.value > maximum) {
        m_findings->error(setting.place, QStringLiteral("\"%1\" %2 is out of range (%3 to %4)")
                                             .arg(QLatin1String(key), shown(written)).arg(minimum).arg(maximum));
        return false;
    }
    *value = setting.value;
    if (ScalarReading::isMisleadingOctal(written))
        m_findings->warning(setting.place, QStringLiteral("\"%1\" %2 is octal because of its leading 0: it reads as %3")
                                               .arg(QLatin1String(key), shown(written)).arg(*value));
    return true;
}

void DocumentChecker::checkDeviceAddress(const MappingIndex &keys)
{
    int id = 0;
    if (keys.find("id") && !checkInteger(keys, "id", 0, 0xFF, QStringLiteral("the model uses 0"), &id))
        return;
    if (!m_protocol->modbus || !m_protocol->isSerial() || id != 0)
        return;
    const QString unanswered = QStringLiteral("the Modbus broadcast address: no controller answers a read sent to it");
    if (const MappingIndex::Entry *entry = keys.find("id")) {
        m_findings->warningAt(entry->keyNode, entry->value, QStringLiteral("\"id\" 0 is %1").arg(unanswered));
        return;
    }
    const MappingIndex::Entry *protocol = keys.find("protocol");
    m_findings->warningAt(protocol->keyNode, protocol->value,
                          QStringLiteral("no \"id\": the model polls address 0, %1").arg(unanswered));
}

void DocumentChecker::checkLinkTuning(const MappingIndex &keys)
{
    for (const DescriptionFile::TuningKey &tuning : DescriptionFile::tuningKeys()) {
        int value = 0;
        checkInteger(keys, tuning.key, tuning.minimum, tuning.maximum,
                     QStringLiteral("it takes %1 to %2").arg(tuning.minimum).arg(tuning.maximum), &value);
        if (tuning.modbusOnly && isVelmorbus())
            checkNotReadHere(keys, tuning.key, QStringLiteral("Modbus"));
    }
}

void DocumentChecker::checkWordOrder(const MappingIndex &keys)
{
    const KeyField<RegisterLayout::WordOrder> &order = m_file->wordOrder();
    if (order.isUnreadable()) {
        const YAML::Node written = keys.find("wordorder")->value;
        m_findings->error(order.place, KeyCatalog::unknownWordOrderFinding(DescriptionScalar::scalarText(written), shown(written),
                                                                           QStringLiteral("the model refuses the file")));
        return;
    }
    if (order.isRead() && isVelmorbus())
        checkNotReadHere(keys, "wordorder", QStringLiteral("Modbus"));
}

void DocumentChecker::checkVariables(const DescriptionFile &file, const MappingIndex &keys)
{
    const MappingIndex::Entry *variables = keys.find("variables");
    if (!variables) {
        m_findings->error(file.root().Mark(), QStringLiteral("no \"variables\": the model refuses the file"));
        return;
    }
    if (!variables->value.IsSequence()) {
        m_findings->errorAt(variables->keyNode, variables->value,
                            QStringLiteral("\"variables\" is %1, not a sequence of \"- \" entries: the model refuses "
                                           "the file").arg(shown(variables->value)));
        return;
    }
    VariableChecker(m_protocol, m_findings).check(variables->value, file.variableDefinitions());
}

bool DocumentChecker::isVelmorbus() const
{
    return m_protocol && !m_protocol->modbus;
}
