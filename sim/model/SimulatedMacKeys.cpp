#include "sim/model/SimulatedMac.h"

#include "shared/SMCKeyCodec.h"
#include "sim/model/SimSMCResult.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace aerivo {

namespace {

std::vector<std::uint8_t> floatBytes(double value) {
    const auto bits = std::bit_cast<std::uint32_t>(static_cast<float>(value));
    return {static_cast<std::uint8_t>(bits & 0xFF), static_cast<std::uint8_t>((bits >> 8) & 0xFF),
            static_cast<std::uint8_t>((bits >> 16) & 0xFF),
            static_cast<std::uint8_t>((bits >> 24) & 0xFF)};
}

std::vector<std::uint8_t> be16(std::uint16_t value) {
    return {static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value & 0xFF)};
}

std::vector<std::uint8_t> be32(std::uint32_t value) {
    return {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>((value >> 16) & 0xFF),
            static_cast<std::uint8_t>((value >> 8) & 0xFF),
            static_cast<std::uint8_t>(value & 0xFF)};
}

std::string fanKey(std::size_t fan, const char* suffix) {
    return "F" + std::to_string(fan) + suffix;
}

} // namespace

// MARK: SMC keys

std::vector<std::uint8_t> SimulatedMac::speedBytes(double rpm) const {
    if (preset_.speedEncoding == SimSpeedEncoding::fpe2) {
        const double raw = std::clamp(std::round(rpm * 4), 0.0, 65535.0);
        return be16(static_cast<std::uint16_t>(raw));
    }
    return floatBytes(rpm);
}

std::optional<double> SimulatedMac::speedFromBytes(const std::vector<std::uint8_t>& bytes) const {
    double rpm = 0;
    if (preset_.speedEncoding == SimSpeedEncoding::fpe2) {
        if (bytes.size() != 2) {
            return std::nullopt;
        }
        rpm = ((bytes[0] << 8) | bytes[1]) / 4.0;
    } else {
        if (bytes.size() != 4) {
            return std::nullopt;
        }
        const std::uint32_t bits = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) |
                                   (static_cast<std::uint32_t>(bytes[3]) << 24);
        rpm = std::bit_cast<float>(bits);
    }
    if (!std::isfinite(rpm) || rpm < 0) {
        return std::nullopt;
    }
    return rpm;
}

std::uint8_t SimulatedMac::writeMode(std::size_t fan, const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() != 1 || bytes[0] > 1) {
        return SimSMCResult::badArgument;
    }
    fans_[fan].mode = bytes[0];
    fans_[fan].lastWriter = caller_ != nullptr ? caller_->name : "unknown";
    fans_[fan].lastWriteSeconds = now();
    return SimSMCResult::success;
}

std::uint8_t SimulatedMac::writeTarget(std::size_t fan, const std::vector<std::uint8_t>& bytes) {
    const auto rpm = speedFromBytes(bytes);
    if (!rpm) {
        return SimSMCResult::badArgument;
    }
    fans_[fan].target = *rpm;
    fans_[fan].lastWriter = caller_ != nullptr ? caller_->name : "unknown";
    fans_[fan].lastWriteSeconds = now();
    return SimSMCResult::success;
}

void SimulatedMac::buildKeyTable() {
    const std::string speedType = preset_.speedEncoding == SimSpeedEncoding::fpe2 ? "fpe2" : "flt ";
    const std::uint32_t speedSize = preset_.speedEncoding == SimSpeedEncoding::fpe2 ? 2 : 4;
    auto readOnly = [this](std::string name, std::string type, std::uint32_t size,
                           std::function<std::vector<std::uint8_t>()> read) {
        keys_.add(SimSMCKey{std::move(name), std::move(type), size, std::move(read), {}});
    };
    auto temperature = [&](std::string name, double coupling, double offset) {
        readOnly(std::move(name), "flt ", 4, [this, coupling, offset] {
            return floatBytes(ambientC + coupling * (dieC_ - ambientC) + offset);
        });
    };

    readOnly("#KEY", "ui32", 4, [this] { return be32(static_cast<std::uint32_t>(keys_.size())); });
    readOnly("FNum", "ui8 ", 1,
             [this] { return std::vector<std::uint8_t>{static_cast<std::uint8_t>(fans_.size())}; });
    for (std::size_t i = 0; i < fans_.size(); ++i) {
        readOnly(fanKey(i, "Ac"), speedType, speedSize,
                 [this, i] { return speedBytes(fans_[i].measuredRPM()); });
        keys_.add(SimSMCKey{
            fanKey(i, "Tg"), speedType, speedSize,
            [this, i] { return speedBytes(fans_[i].target); },
            [this, i](const std::vector<std::uint8_t>& bytes) { return writeTarget(i, bytes); }});
        if (preset_.hasRangeKeys) {
            readOnly(fanKey(i, "Mn"), speedType, speedSize,
                     [this, i] { return speedBytes(fans_[i].design.minimumRPM); });
            readOnly(fanKey(i, "Mx"), speedType, speedSize,
                     [this, i] { return speedBytes(fans_[i].design.maximumRPM); });
        }
        keys_.add(SimSMCKey{
            fanKey(i, "md"), "ui8 ", 1,
            [this, i] { return std::vector<std::uint8_t>{fans_[i].mode}; },
            [this, i](const std::vector<std::uint8_t>& bytes) { return writeMode(i, bytes); }});
        readOnly(fanKey(i, "Md"), "ui8 ", 1,
                 [this, i] { return std::vector<std::uint8_t>{fans_[i].mode}; });
        readOnly(fanKey(i, "Sf"), speedType, speedSize,
                 [this, i] { return speedBytes(fans_[i].design.minimumRPM); });
    }
    if (!fans_.empty()) {
        readOnly("FS! ", "ui16", 2, [this] {
            std::uint16_t forced = 0;
            for (std::size_t i = 0; i < fans_.size() && i < 16; ++i) {
                if (fans_[i].mode != 0) {
                    forced = static_cast<std::uint16_t>(forced | (1U << i));
                }
            }
            return be16(forced);
        });
    }

    // Processor cores, GPU, memory and the enclosure.
    const char* cores[] = {"Tp01", "Tp05", "Tp09", "Tp0D", "Tp0H", "Tp0L", "Tp0P", "Tp0T"};
    for (int i = 0; i < 8; ++i) {
        temperature(cores[i], 1.0, -0.8 + 0.2 * i);
    }
    temperature("Tg05", 0.85, 0);
    temperature("Tg0D", 0.82, 0);
    temperature("Tm02", 0.7, 0);
    temperature("TB0T", 0.2, 5);
    temperature("TB1T", 0.2, 4.6);
    temperature("TB2T", 0.2, 4.9);
    temperature("TW0P", 0.4, 0);
    temperature("Ts0P", 0.3, 0);
    temperature("Ts1P", 0.3, 0.4);
    temperature("TH0x", 0.45, 0);
    temperature("TaLP", 0.25, 0);
    temperature("TaRF", 0.25, 0.3);
    temperature("TCHP", 0.3, 2);
    // Power rails.
    readOnly("PSTR", "flt ", 4, [this] { return floatBytes(powerW_ + 3); });
    readOnly("PCPT", "flt ", 4, [this] { return floatBytes(powerW_ * 0.8); });
    readOnly("PGTR", "flt ", 4, [this] { return floatBytes(powerW_ * 0.15); });
    readOnly("PDTR", "flt ", 4, [this] { return floatBytes(powerW_ + 5); });
    readOnly("PPBR", "flt ", 4, [] { return floatBytes(0); });
    readOnly("VD0R", "flt ", 4, [] { return floatBytes(20.1); });
    readOnly("ID0R", "flt ", 4, [this] { return floatBytes((powerW_ + 5) / 20.1); });
    // Battery (on external power, full).
    readOnly("B0AC", "si16", 2, [] { return be16(0); });
    readOnly("B0AV", "ui16", 2, [] { return be16(12950); });
    readOnly("B0FC", "ui16", 2, [] { return be16(4520); });
    readOnly("B0RM", "ui16", 2, [] { return be16(4113); });
    readOnly("B0CT", "ui16", 2, [] { return be16(127); });
    readOnly("BRSC", "ui16", 2, [] { return be16(91); });
    readOnly("BNum", "ui8 ", 1, [] { return std::vector<std::uint8_t>{1}; });
    // Adapter, lid and platform.
    readOnly("AC-W", "si8 ", 1, [] { return std::vector<std::uint8_t>{96}; });
    readOnly("MSLD", "ui8 ", 1, [] { return std::vector<std::uint8_t>{0}; });
    readOnly("RPlt", "ch8*", 8,
             [] { return std::vector<std::uint8_t>{'j', '4', '1', '6', 'c', 0, 0, 0}; });
}

} // namespace aerivo
