#pragma once
/// Arbitrary plug-in records for the fuzz targets: any id and counts, any
/// category (mostly the ones plug-ins report), texts that are null, empty or
/// arbitrary UTF-16 units, and up to kMaxShells sub-plug-ins.

#include "UnicodeReference.h"

#include "scan/PluginInfo.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

namespace record_generator {

constexpr int kMaxShells = 40;

/// Which texts a record may hold.
enum class ETexts {
    AnyUnits,   ///< lone surrogates included
    WellFormed, ///< lone surrogates replaced by U+FFFD, as in every text the server builds
};

/// Null, empty, or arbitrary units up to the first zero.
inline CString ConsumeText(FuzzedDataProvider& data, ETexts texts)
{
    CString text;
    switch (data.ConsumeIntegralInRange<int>(0, 3)) {
    case 0: return text;
    case 1: text.Assign(u""); return text;
    default: break;
    }
    const std::string bytes = data.ConsumeRandomLengthString(80);
    std::u16string units;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const char16_t unit = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                    static_cast<unsigned char>(bytes[i + 1]) << 8);
        if (unit == 0) {
            break;
        }
        units += unit;
    }
    if (texts == ETexts::WellFormed) {
        units = unicode_reference::ReplaceUnpairedSurrogates(units);
    }
    text.Assign(units.c_str());
    return text;
}

inline void ConsumeRecord(FuzzedDataProvider& data, ETexts texts, CPluginInfo& record)
{
    record.id = data.ConsumeIntegral<std::int32_t>();
    record.name = ConsumeText(data, texts);
    record.vendor = ConsumeText(data, texts);
    record.product = ConsumeText(data, texts);
    record.version = ConsumeText(data, texts);
    record.error = ConsumeText(data, texts);
    record.numInputs = data.ConsumeIntegral<std::int32_t>();
    record.numOutputs = data.ConsumeIntegral<std::int32_t>();
    record.wantsMidi = data.ConsumeBool();
    record.sendsMidi = data.ConsumeBool();
    record.audio64 = data.ConsumeBool();
    record.synthEdit = data.ConsumeBool();
    static const std::int32_t kCategories[] = {-1, 0, 1, 2, 10, 10, 10};
    const int pick = data.ConsumeIntegralInRange<int>(0, 7);
    record.category = pick < 7 ? kCategories[pick] : data.ConsumeIntegral<std::int32_t>();
    const int shells = data.ConsumeIntegralInRange<int>(0, kMaxShells);
    for (int i = 0; i < shells; ++i) {
        CShellInfo* shell = new CShellInfo;
        shell->id = data.ConsumeIntegral<std::int32_t>();
        shell->name = ConsumeText(data, texts);
        record.shells.Add(shell);
    }
}

} // namespace record_generator
