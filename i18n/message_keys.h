// The archive component's messages, which it gives in Czech, with the key under which a
// language file's section Messages gives them in its language, and the English text the
// command line prints when no language file does. "%s" stands for the part that varies
// (a name, a number); the window shows the Czech texts as they are.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace i18n {

inline constexpr std::string_view kMessagesSection = "Messages";

struct MessageKey {
  std::string_view key;
  std::string_view czech;
  std::string_view english;
};

inline constexpr std::array kMessageKeys = {
    MessageKey{"ZipBadPath", "Cesta není platná/nebyla nalezana", "The path is not valid or was not found"},
    MessageKey{"ZipDiskFull", "Disk je plný", "The disk is full"},
    MessageKey{"ZipIoError", "Vstupně/výstupní chyba %s", "Input/output error %s"},
    MessageKey{"ZipHeaderMissing", "Hlava chybí nebo je poškozena u %s",
               "A header is missing or damaged in %s"},
    MessageKey{"ZipBadName", "Jméno je chybné !", "The name is wrong!"},
    MessageKey{"ZipNoFiles", "Nejsou žádné soubory k smrsknutí !", "There are no files to shrink!"},
    MessageKey{"ZipOpenFailed", "Chyba při otevítání souboru", "Error while opening the file"},
    MessageKey{"ZipCannotOpen", "Nejde otevřít %s.  Překračuji ...", "Cannot open %s. Skipping ..."},
    MessageKey{"ZipStackOverflow", "Promiňte, přetekl mi zásobník (%s)!",
               "Sorry, my stack overflowed (%s)!"},
    MessageKey{"ZipUnshrinkNoMemory", "Není dost paměti k rozmrsknutí ! Překračuji ...",
               "Not enough memory to unshrink! Skipping ..."},
    MessageKey{"ZipUnshrinkBadLink", "Kód špatně navazuje ! Pokračujem...",
               "A code does not follow on! Going on..."},
    MessageKey{"ZipUnshrinkBadCode", "Kód se jeví chybný !", "A code seems wrong!"},
    MessageKey{"ZipExplodeNoMemory", "Není dost paměti k rozpnutí ! Překračuji ...",
               "Not enough memory to explode! Skipping ..."},
    MessageKey{"ZipExplodeBadTree", "Chybný dekódovací strom !", "Wrong decoding tree!"},
    MessageKey{"ZipExplodeBadCode", "Úplně chybné kódování !", "Completely wrong coding!"},
    MessageKey{"ZipUnreduceNoMemory", "Není dost paměti k rozvinutí ! Překračuji ...",
               "Not enough memory to expand! Skipping ..."},
};

}  // namespace i18n
