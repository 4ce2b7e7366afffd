// The engine's language drivers that Paradox tables carry, with their sort order bytes and
// code pages, as the engine's own driver list gives them.

#include "data/paradox/format/language_driver.h"

#include "data/paradox/format/code_page.h"

#include <algorithm>

namespace paradox {
namespace {

struct LanguageDriver
{
    const char* id;
    int sortOrderCode;
    int codePage;
};

constexpr LanguageDriver kDrivers[] = {
    { "ascii", 0x00, 437 },
    { "intl", 0xB7, 437 },
    { "intl850", 0x54, 850 },
    { "nordan", 0x82, 865 },
    { "nordan40", 0xE6, 865 },
    { "swedfin", 0xF0, 437 },
    { "SPANISH", 0x16, 437 },
    { "iceland", 0xD0, 861 },
    { "turk", 0xC6, 857 },
    { "hebrew", 0x7D, 862 },
    { "grcp437", 0x4A, 737 },
    { "cyrr", 0xC0, 866 },
    { "BULGARIA", 0x47, 868 },
    { "czech", 0x0D, 852 },
    { "czechw", 0x84, 852 },
    { "hun852dc", 0xB1, 852 },
    { "polish", 0x8F, 852 },
    { "slovene", 0xFC, 852 },
    { "cskamen", 0xE2, 867 },
    { "cskamenw", 0x59, 867 },
    { "japan", 0x0A, 932 },
    { "china", 0x03, 936 },
    { "korea", 0x12, 949 },
    { "taiwan", 0x84, 950 },
    { "thai", 0xA6, 874 },
    { "ANSIINTL", 0x62, 1252 },
    { "ANSII850", 0x11, 1252 },
    { "ANSINOR4", 0x4E, 1252 },
    { "ANSISPAN", 0x5D, 1252 },
    { "ANSISWFN", 0x69, 1252 },
    { "DBWINUS0", 0x4C, 1252 },
    { "DBWINWE0", 0x40, 1252 },
    { "DBWINES0", 0x3C, 1252 },
    { "anczech", 0xDC, 1250 },
    { "anczechw", 0x53, 1250 },
    { "anil2czw", 0x2A, 1250 },
    { "anhundc", 0xE1, 1250 },
    { "anpolish", 0x5E, 1250 },
    { "ansislov", 0x6F, 1250 },
    { "ancyrr", 0x8F, 1251 },
    { "BGPD1251", 0xE6, 1251 },
    { "angreek1", 0x0E, 1253 },
    { "ANTURK", 0xD5, 1254 },
    { "ANHEBREW", 0x4C, 1255 },
    { "BLROM800", 0x14, kHpRoman8CodePage },
    { "SYDC437", 0xD1, 437 },
    { "SYDC850", 0xD0, 850 },
};

std::optional<int> supported(int codePage)
{
    return isSupportedCodePage(codePage) ? std::optional<int>(codePage) : std::nullopt;
}

} // namespace

std::optional<int> languageDriverCodePage(int sortOrderCode, const QByteArray& sortOrderName)
{
    if (!sortOrderName.isEmpty()) {
        const auto* driver
            = std::find_if(std::begin(kDrivers), std::end(kDrivers), [&](const LanguageDriver& d) {
                  return d.sortOrderCode == sortOrderCode
                      && sortOrderName.compare(d.id, Qt::CaseInsensitive) == 0;
              });
        return driver == std::end(kDrivers) ? std::nullopt : supported(driver->codePage);
    }
    std::optional<int> codePage;
    for (const LanguageDriver& driver : kDrivers) {
        if (driver.sortOrderCode != sortOrderCode)
            continue;
        if (codePage && *codePage != driver.codePage)
            return std::nullopt;
        codePage = driver.codePage;
    }
    return codePage ? supported(*codePage) : std::nullopt;
}

} // namespace paradox
