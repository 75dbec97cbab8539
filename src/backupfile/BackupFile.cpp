#include "BackupFile.hpp"

#include "devmem/PresetDialogs.hpp"
#include "state/CodePage.hpp"
#include "storage/FileAccess.hpp"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace qrv {

namespace {

constexpr const char* kKind = "qrv5173-backup";
// A unit with every slot stored and every byte at its widest gives about 155 KB; a file
// beyond this is no backup and is refused before it is read.
constexpr std::size_t kBackupFileLimit = 1 << 20;

template <std::size_t N> QJsonArray numbers(const std::array<uint8_t, N>& bytes)
{
    QJsonArray out;
    for (uint8_t b : bytes)
        out.append(b);
    return out;
}

QString text(const std::string& utf8)
{
    return QString::fromStdString(utf8);
}

std::string hexByte(uint8_t byte)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", byte);
    return text;
}

// Reading: every check names the place that failed.
struct Refusal {
    std::string problem;
};

int byteAt(const QJsonObject& object, const char* key, const std::string& where, int max = 255)
{
    const QJsonValue value = object.value(QLatin1String(key));
    const double number = value.toDouble(-1);
    if (!value.isDouble() || number != static_cast<int>(number) || number < 0 || number > max)
        throw Refusal{where + "\"" + key + "\" must be a whole number from 0 to " + std::to_string(max)};
    return static_cast<int>(number);
}

template <std::size_t N>
std::array<uint8_t, N> bytesAt(const QJsonObject& object, const char* key, const std::string& where)
{
    const QJsonArray array = object.value(QLatin1String(key)).toArray();
    if (!object.value(QLatin1String(key)).isArray() || array.size() != static_cast<qsizetype>(N))
        throw Refusal{where + "\"" + key + "\" must be a list of " + std::to_string(N) + " numbers"};
    std::array<uint8_t, N> out{};
    for (std::size_t i = 0; i < N; ++i) {
        const double number = array.at(static_cast<qsizetype>(i)).toDouble(-1);
        if (!array.at(static_cast<qsizetype>(i)).isDouble() || number != static_cast<int>(number) || number < 0 ||
            number > 255)
            throw Refusal{where + "\"" + key + "\" holds a value that is not a byte (0 to 255)"};
        out[i] = static_cast<uint8_t>(number);
    }
    return out;
}

UnitBackup decodeUnit(const QJsonObject& root)
{
    if (root.value(QLatin1String("kind")).toString() != QLatin1String(kKind))
        throw Refusal{"this is not a QRV5173 backup"};
    if (!root.value(QLatin1String("format")).isDouble())
        throw Refusal{"the backup has no format number"};
    const double format = root.value(QLatin1String("format")).toDouble();
    if (format != kBackupFormat)
        throw Refusal{"the backup is in format " + QString::number(format).toStdString() +
                      (format > kBackupFormat ? ", from a newer version" : "") + "; this version reads format " +
                      std::to_string(kBackupFormat)};
    UnitBackup unit;
    unit.currentEffect = static_cast<uint8_t>(byteAt(root, "currentEffect", "", kEffectCount - 1));
    unit.effectSwitch = static_cast<uint8_t>(byteAt(root, "effectSwitch", "", 1));
    const QJsonArray effects = root.value(QLatin1String("effects")).toArray();
    if (effects.size() != kEffectCount)
        throw Refusal{"\"effects\" must list all " + std::to_string(kEffectCount) + " effects"};
    for (int e = 0; e < kEffectCount; ++e) {
        const QJsonObject effect = effects.at(e).toObject();
        const std::string where = "effect " + std::to_string(e) + ": ";
        if (!effects.at(e).isObject() || byteAt(effect, "effect", where) != e)
            throw Refusal{where + "out of order or not an effect"};
        EffectBackup& out = unit.effects[static_cast<std::size_t>(e)];
        out.live = bytesAt<kDeviceColumns>(effect, "live", where);
        out.slotNumber = static_cast<uint8_t>(byteAt(effect, "slotNumber", where, kSlotCount - 1));
        const QJsonArray slotList = effect.value(QLatin1String("slots")).toArray();
        if (slotList.size() != kSlotCount)
            throw Refusal{where + "\"slots\" must list " + std::to_string(kSlotCount) + " slots"};
        for (int s = 0; s < kSlotCount; ++s) {
            const QJsonObject slot = slotList.at(s).toObject();
            const std::string at = where.substr(0, where.size() - 2) + " slot " + std::to_string(s + 1) + ": ";
            if (!slotList.at(s).isObject())
                throw Refusal{at + "not a slot"};
            SlotBackup& b = out.presets[static_cast<std::size_t>(s)];
            b.directory = static_cast<uint8_t>(byteAt(slot, "directory", at));
            if (!b.stored())
                continue;
            const QJsonValue name = slot.value(QLatin1String("name"));
            const QString nameText = name.toString();
            const bool latin1 =
                std::all_of(nameText.begin(), nameText.end(), [](QChar c) { return c.unicode() < 256; });
            if (!name.isString() || nameText.size() != kNameLength || !latin1)
                throw Refusal{at + "\"name\" must be 8 Latin-1 characters"};
            const QByteArray bytes = nameText.toLatin1();
            if (const auto control = std::find_if_not(bytes.begin(), bytes.end(),
                                                      [](char c) { return isNameByte(static_cast<uint8_t>(c)); });
                control != bytes.end())
                throw Refusal{at + "\"name\" holds the control code " + hexByte(static_cast<uint8_t>(*control)) +
                              ", which the unit cannot hold"};
            std::copy(bytes.begin(), bytes.end(), b.name.begin());
            b.data = bytesAt<kDeviceColumns>(slot, "data", at);
        }
    }
    return unit;
}

} // namespace

std::string encodeBackup(const UnitBackup& unit)
{
    QJsonArray effects;
    for (int e = 0; e < kEffectCount; ++e) {
        const EffectBackup& effect = unit.effects[static_cast<std::size_t>(e)];
        QJsonArray slotList;
        for (const SlotBackup& b : effect.presets) {
            QJsonObject slot{{"directory", b.directory}};
            if (b.stored()) {
                slot.insert("name", text(nameText(b.name)));
                slot.insert("data", numbers(b.data));
            }
            slotList.append(slot);
        }
        effects.append(QJsonObject{{"effect", e},
                                   {"effectName", QString::fromLatin1(catalogue::effect(e).listText)},
                                   {"slotNumber", effect.slotNumber},
                                   {"live", numbers(effect.live)},
                                   {"slots", slotList}});
    }
    const QJsonObject root{{"kind", kKind},
                           {"format", kBackupFormat},
                           {"currentEffect", unit.currentEffect},
                           {"effectSwitch", unit.effectSwitch},
                           {"effects", effects}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented).toStdString();
}

DecodedBackup decodeBackup(std::string_view json)
{
    QJsonParseError error{};
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray(json.data(), static_cast<qsizetype>(json.size())), &error);
    if (document.isNull())
        return {std::nullopt,
                "not a JSON document (" + error.errorString().toStdString() + " at byte " +
                    std::to_string(error.offset) + ")"};
    if (!document.isObject())
        return {std::nullopt, "this is not a QRV5173 backup"};
    try {
        return {decodeUnit(document.object()), {}};
    } catch (const Refusal& refusal) {
        return {std::nullopt, refusal.problem};
    }
}

DecodedBackup readBackupFile(const std::filesystem::path& file)
{
    const FileRead read = readWholeFile(file, kBackupFileLimit);
    if (read.outcome == FileRead::Outcome::WrongSize)
        return {std::nullopt, "the file is larger than any QRV5173 backup (" + read.problem + ")"};
    if (read.outcome != FileRead::Outcome::Read)
        return {std::nullopt, read.problem};
    return decodeBackup(std::string_view(reinterpret_cast<const char*>(read.bytes.data()), read.bytes.size()));
}

std::optional<std::string> writeBackupFile(const std::filesystem::path& file, const UnitBackup& unit,
                                           SpaceReservation* room)
{
    const std::string json = encodeBackup(unit);
    return writeFileAtomically(file, std::span(reinterpret_cast<const uint8_t*>(json.data()), json.size()),
                               {.room = room});
}

std::optional<std::string> checkBackupWritable(const std::filesystem::path& file)
{
    ReservedSpace reserved = reserveBackupSpace(file);
    if (!reserved.room)
        return reserved.problem;
    return std::nullopt;
}

ReservedSpace reserveBackupSpace(const std::filesystem::path& file)
{
    UnitBackup full;
    for (EffectBackup& effect : full.effects) {
        effect.live.fill(0xFF);
        for (SlotBackup& slot : effect.presets) {
            slot.directory = Addr::SlotUsed;
            slot.name.fill(0xFF);
            slot.data.fill(0xFF);
        }
    }
    return reserveSpace(file, encodeBackup(full).size());
}

} // namespace qrv
