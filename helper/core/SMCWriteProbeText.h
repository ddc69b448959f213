#pragma once

#include "shared/FanTargetWriteResult.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace aerivo {

// The texts of the lines every helper fan operation and the write probe print: one writer for
// the line form, speeds, bytes, flags and write results. Never instantiated.
struct SMCWriteProbeText {
    SMCWriteProbeText() = delete;

    // "smcWriteProbe" + name + "=" + value.
    static std::string line(std::string_view name, std::string_view value);

    // A speed as a whole number, halves away from zero, or "nil" when absent. Speeds that are
    // not finite read "nan", "inf" or "-inf"; a finite speed of any size prints all its digits
    // (no integer conversion, so nothing can overflow).
    static std::string rpm(std::optional<double> rpm);

    // Bytes as two upper-case hexadecimal digits each, separated by single blanks ("00 01").
    static std::string bytes(const std::vector<std::uint8_t>& bytes);

    static std::string boolean(bool value) { return value ? "true" : "false"; }

    // name + "KernelResult=" (the kernel code by name) and name + "SMCResult=" (decimal).
    static void appendWriteResult(std::vector<std::string>& lines, std::string_view name,
                                  const FanTargetWriteResult& result);
};

} // namespace aerivo
