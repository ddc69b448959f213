#pragma once

#include "platform/services/UserDefaults.h"

#include <filesystem>
#include <memory>
#include <string>

namespace aerivo {

// The application's user defaults: one file kept by QSettings in the user's configuration folder
// (`$XDG_CONFIG_HOME`, else `~/.config`), "AerivoMac/<bundle identifier>.json". The file is a JSON
// object: strings as strings, binary data as {"data": "<base64>"}, so each key keeps its kind. A
// file that cannot be read as such holds nothing, and is replaced by the next write.
//
// Every operation opens the file afresh, so values written by another instance or process are
// seen at the next read. A write counts as done only when QSettings has flushed the file with no
// error (the file is replaced atomically); a write that fails is withdrawn again, so the value in
// force stays the one on disk.
class QSettingsUserDefaults final : public UserDefaults {
public:
    // Settings kept in `folder` (created on the first write), in the file `fileName`.
    explicit QSettingsUserDefaults(std::filesystem::path folder,
                                   std::string fileName = defaultFileName());

    // The user's configuration folder for this application.
    static std::filesystem::path standardFolder();
    // "<bundle identifier>.json".
    static std::string defaultFileName();
    // The database the application uses: standardFolder() / defaultFileName().
    static std::shared_ptr<QSettingsUserDefaults> standard();

    const std::filesystem::path& filePath() const { return filePath_; }

    std::optional<Data> data(std::string_view key) const override;
    std::optional<std::string> string(std::string_view key) const override;
    bool setData(std::string_view key, std::span<const std::uint8_t> value) override;
    bool setString(std::string_view key, std::string_view value) override;
    bool remove(std::string_view key) override;

private:
    std::filesystem::path filePath_;
};

} // namespace aerivo
