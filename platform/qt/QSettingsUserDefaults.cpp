#include "platform/qt/QSettingsUserDefaults.h"

#include <QByteArray>
#include <QIODevice>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QMetaType>
#include <QSettings>
#include <QStandardPaths>
#include <QString>
#include <QVariant>

#include <utility>

namespace aerivo {

namespace {

QString qtString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString qtPath(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

// The file holds one JSON object: strings as JSON strings, binary data as {"data": <base64>}.
// This format rather than Qt's INI one because a damaged INI file leaves QSettings reporting a
// format error that hides a later write failure (its status keeps the first error); a file this
// reader cannot use reads as holding nothing, so after a write the status speaks for the write.
constexpr auto dataMember = "data";

bool readDefaults(QIODevice& device, QSettings::SettingsMap& map) {
    const QJsonDocument document = QJsonDocument::fromJson(device.readAll());
    const QJsonObject object = document.object();
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (it->isString()) {
            map.insert(it.key(), it->toString());
        } else if (it->isObject()) {
            const QJsonValue encoded = it->toObject().value(QLatin1String(dataMember));
            if (!encoded.isString()) {
                continue;
            }
            const auto decoded = QByteArray::fromBase64Encoding(
                encoded.toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
            if (decoded) {
                map.insert(it.key(), *decoded);
            }
        }
    }
    return true;
}

bool writeDefaults(QIODevice& device, const QSettings::SettingsMap& map) {
    QJsonObject object;
    for (auto it = map.begin(); it != map.end(); ++it) {
        if (it->typeId() == QMetaType::QByteArray) {
            object.insert(it.key(),
                          QJsonObject{{QLatin1String(dataMember),
                                       QString::fromLatin1(it->toByteArray().toBase64())}});
        } else {
            object.insert(it.key(), it->toString());
        }
    }
    const QByteArray text = QJsonDocument(object).toJson(QJsonDocument::Indented);
    return device.write(text) == text.size();
}

QSettings::Format defaultsFormat() {
    static const QSettings::Format format =
        QSettings::registerFormat(QStringLiteral("json"), readDefaults, writeDefaults);
    return format;
}

// Stores `value` under `key` (nothing: removes the key); true when the file on disk was
// rewritten with it. A write that failed is withdrawn: QSettings shares a file's contents
// between its instances in a process, and would otherwise keep serving a value the disk never
// received.
bool store(const std::filesystem::path& file, std::string_view key,
           const std::optional<QVariant>& value) {
    const QString name = qtString(key);
    QSettings settings(qtPath(file), defaultsFormat());
    const bool hadPrevious = settings.contains(name);
    const QVariant previous = settings.value(name);

    if (value) {
        settings.setValue(name, *value);
    } else {
        settings.remove(name);
    }
    settings.sync();
    const bool stored = settings.status() == QSettings::NoError;
    if (!stored) {
        if (hadPrevious) {
            settings.setValue(name, previous);
        } else {
            settings.remove(name);
        }
    }
    return stored;
}

std::optional<QVariant> load(const std::filesystem::path& file, std::string_view key) {
    QSettings settings(qtPath(file), defaultsFormat());
    const QVariant value = settings.value(qtString(key));
    if (!value.isValid()) {
        return std::nullopt;
    }
    return value;
}

} // namespace

QSettingsUserDefaults::QSettingsUserDefaults(std::filesystem::path folder, std::string fileName)
    : filePath_(std::move(folder) / std::move(fileName)) {}

std::filesystem::path QSettingsUserDefaults::standardFolder() {
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return std::filesystem::path(config.toStdString()) / "AerivoMac";
}

std::string QSettingsUserDefaults::defaultFileName() {
    return std::string(AERIVO_BUNDLE_IDENTIFIER) + ".json";
}

std::shared_ptr<QSettingsUserDefaults> QSettingsUserDefaults::standard() {
    return std::make_shared<QSettingsUserDefaults>(standardFolder());
}

std::optional<UserDefaults::Data> QSettingsUserDefaults::data(std::string_view key) const {
    const auto value = load(filePath_, key);
    if (!value || value->typeId() != QMetaType::QByteArray) {
        return std::nullopt;
    }
    const QByteArray bytes = value->toByteArray();
    return Data(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                reinterpret_cast<const std::uint8_t*>(bytes.constData()) + bytes.size());
}

std::optional<std::string> QSettingsUserDefaults::string(std::string_view key) const {
    const auto value = load(filePath_, key);
    if (!value || value->typeId() != QMetaType::QString) {
        return std::nullopt;
    }
    return value->toString().toStdString();
}

bool QSettingsUserDefaults::setData(std::string_view key, std::span<const std::uint8_t> value) {
    const QByteArray bytes(reinterpret_cast<const char*>(value.data()),
                           static_cast<qsizetype>(value.size()));
    return store(filePath_, key, QVariant(bytes));
}

bool QSettingsUserDefaults::setString(std::string_view key, std::string_view value) {
    return store(filePath_, key, QVariant(qtString(value)));
}

bool QSettingsUserDefaults::remove(std::string_view key) {
    return store(filePath_, key, std::nullopt);
}

} // namespace aerivo
