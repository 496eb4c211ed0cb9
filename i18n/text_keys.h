// The interface texts that a language file may replace: one row per key, in the order in
// which a load applies them, with the target each key sets and the text the target has
// before any language file is applied.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace i18n {

// The window whose object a key sets.
enum class Window { Main, Settings, About };

// What a key sets.
enum class Target {
  Caption,       // the text of object `object`; for a window's own name, its title
  RadioItem,     // choice `index` (from 0) of the radio group `object`
  DialogFilter,  // the "Description|pattern|..." filter of the open dialog `object`
  HeldText,      // field `object` of the main window; no widget shows it directly
  LanguageItem,  // the sub-item at position `index` (from 1) of the menu `object`
};

struct TextKey {
  std::string_view key;  // the key in section Interface
  Window window;
  Target target;
  std::string_view object;   // object name of the control, dialog, window or field
  int index;                 // RadioItem: choice; LanguageItem: position 1..9; else 0
  std::string_view builtIn;  // the target's text before any file is applied
};

// Held texts have no built-in text: only a language file fills them. A Language-menu
// item starts with its language name, which only the running program knows.
inline constexpr std::array<TextKey, 63> kTextKeys{{
    {"MFile->Caption", Window::Main, Target::Caption, "MFile", 0, "File"},
    {"MVerify->Caption", Window::Main, Target::Caption, "MVerify", 0, "Verify parts"},
    {"MExit->Caption", Window::Main, Target::Caption, "MExit", 0, "Exit"},
    {"MOptions->Caption", Window::Main, Target::Caption, "MOptions", 0, "Options"},
    {"MSettings->Caption", Window::Main, Target::Caption, "MSettings", 0, "Settings"},
    {"MChecksum->Caption", Window::Main, Target::Caption, "MChecksum", 0, "write checksum file"},
    {"MShScript->Caption", Window::Main, Target::Caption, "MShScript", 0,
     "also create .sh file"},
    {"MDeflate->Caption", Window::Main, Target::Caption, "MDeflate", 0, "compress with Deflate"},
    {"MRecovery->Caption", Window::Main, Target::Caption, "MRecovery", 0, "recovery data"},
    {"MRecoveryNone->Caption", Window::Main, Target::Caption, "MRecoveryNone", 0, "None"},
    {"MRecovery1->Caption", Window::Main, Target::Caption, "MRecovery1", 0, "1 part"},
    {"MRecovery2->Caption", Window::Main, Target::Caption, "MRecovery2", 0, "2 parts"},
    {"MRecovery10->Caption", Window::Main, Target::Caption, "MRecovery10", 0, "10 %"},
    {"MLanguage->Caption", Window::Main, Target::Caption, "MLanguage", 0, "Language"},
    {"MLangArabic->Caption", Window::Main, Target::LanguageItem, "MLanguage", 1, ""},
    {"MLangChinese->Caption", Window::Main, Target::LanguageItem, "MLanguage", 2, ""},
    {"MLangDutch->Caption", Window::Main, Target::LanguageItem, "MLanguage", 3, ""},
    {"MLangEnglish->Caption", Window::Main, Target::LanguageItem, "MLanguage", 4, ""},
    {"MLangFrench->Caption", Window::Main, Target::LanguageItem, "MLanguage", 5, ""},
    {"MLangItalian->Caption", Window::Main, Target::LanguageItem, "MLanguage", 6, ""},
    {"MLangRussian->Caption", Window::Main, Target::LanguageItem, "MLanguage", 7, ""},
    {"MLangSpanish->Caption", Window::Main, Target::LanguageItem, "MLanguage", 8, ""},
    {"MLangTurkish->Caption", Window::Main, Target::LanguageItem, "MLanguage", 9, ""},
    {"MHelp->Caption", Window::Main, Target::Caption, "MHelp", 0, "Help"},
    {"MAbout->Caption", Window::Main, Target::Caption, "MAbout", 0, "About"},
    {"TabSheetSplit->Caption", Window::Main, Target::Caption, "TabSheetSplit", 0, "Split"},
    {"TabSheetCombine->Caption", Window::Main, Target::Caption, "TabSheetCombine", 0, "Combine"},
    {"GroupBoxCombine->Caption", Window::Main, Target::Caption, "GroupBoxCombine", 0,
     " Combine Files "},
    {"LabelFirstFile->Caption", Window::Main, Target::Caption, "LabelFirstFile", 0, "First File:"},
    {"LabelOutput->Caption", Window::Main, Target::Caption, "LabelOutput", 0, "Output File: "},
    {"LabelCombineFolder->Caption", Window::Main, Target::Caption, "LabelCombineFolder", 0,
     "Output Folder:"},
    {"ButtonCombine->Caption", Window::Main, Target::Caption, "ButtonCombine", 0, "Combine"},
    {"ButtonStopCombine->Caption", Window::Main, Target::Caption, "ButtonStopCombine", 0, "Stop"},
    {"GroupBoxSplit->Caption", Window::Main, Target::Caption, "GroupBoxSplit", 0, " Split File "},
    {"LabelFileName->Caption", Window::Main, Target::Caption, "LabelFileName", 0, "Input File:"},
    {"LabelSplitFolder->Caption", Window::Main, Target::Caption, "LabelSplitFolder", 0,
     "Output Folder:"},
    {"LabelFileSize->Caption", Window::Main, Target::Caption, "LabelFileSize", 0,
     "FiIe Size (Kb):"},
    {"LabelSplitOption->Caption", Window::Main, Target::Caption, "LabelSplitOption", 0,
     "Parts Number: "},
    {"RadioGroupSplitOptions->Caption", Window::Main, Target::Caption, "RadioGroupSplitOptions", 0,
     " Split by "},
    {"RadioGroupSplitOptions->Items->Strings[0]", Window::Main, Target::RadioItem,
     "RadioGroupSplitOptions", 0, "number"},
    {"RadioGroupSplitOptions->Items->Strings[1]", Window::Main, Target::RadioItem,
     "RadioGroupSplitOptions", 1, "size"},
    {"CheckBoxDeleteInput->Caption", Window::Main, Target::Caption, "CheckBoxDeleteInput", 0,
     "delete input file after splitting"},
    {"CheckBoxBat->Caption", Window::Main, Target::Caption, "CheckBoxBat", 0,
     "create .bat file (to combine without program)"},
    {"CheckBoxDeleteTempBat->Caption", Window::Main, Target::Caption, "CheckBoxDeleteTempBat", 0,
     "add delete temporary files command to .bat file"},
    {"LabelFileBat->Caption", Window::Main, Target::Caption, "LabelFileBat", 0,
     "File Name (<= 8 signs):"},
    {"CheckBoxDeleteTemp->Caption", Window::Main, Target::Caption, "CheckBoxDeleteTemp", 0,
     "delete temporary files"},
    {"cbCompressZip->Caption", Window::Main, Target::Caption, "cbCompressZip", 0, "compress (zip)"},
    {"ButtonSplit->Caption", Window::Main, Target::Caption, "ButtonSplit", 0, "Split File"},
    {"ButtonSelect->Caption", Window::Main, Target::Caption, "ButtonSelect", 0, "..."},
    {"ButtonStopSplit->Caption", Window::Main, Target::Caption, "ButtonStopSplit", 0, "Stop"},
    {"OpenDialogSplit->Filter", Window::Main, Target::DialogFilter, "OpenDialogSplit", 0,
     "All Files (*.*)|*.*"},
    {"OpenDialogCombine->Filter", Window::Main, Target::DialogFilter, "OpenDialogCombine", 0,
     "Split Files (*.001)|*.001|Packed parts (*.001.zip)|*.001.zip"},
    {"StringPartsNumber", Window::Main, Target::HeldText, "PartsNumberText", 0, ""},
    {"StringPartsSize", Window::Main, Target::HeldText, "PartsSizeText", 0, ""},
    {"StringWESplit", Window::Main, Target::HeldText, "ExplorerSplitText", 0, ""},
    {"StringWEJoin", Window::Main, Target::HeldText, "ExplorerJoinText", 0, ""},
    {"FormSettings->Caption", Window::Settings, Target::Caption, "FormSettings", 0, "Settings"},
    {"FormSettings->cbContextMenu->Caption", Window::Settings, Target::Caption, "cbContextMenu", 0,
     "context menu"},
    {"FormSettings->ButtonClose->Caption", Window::Settings, Target::Caption, "ButtonClose", 0,
     "Close"},
    {"AboutBox->Caption", Window::About, Target::Caption, "AboutBox", 0, "About Program"},
    {"AboutBox->LabelAbout->Caption", Window::About, Target::Caption, "LabelAbout", 0,
     "Splits a large file into numbered parts and joins them back."},
    {"AboutBox->LabelAuthor->Caption", Window::About, Target::Caption, "LabelAuthor", 0,
     "Sundrix developers"},
    {"AboutBox->LabelSite->Caption", Window::About, Target::Caption, "LabelSite", 0,
     "https://sundrix.example.org/"},
}};

// Positions of the Language menu that the nine language-name keys can set.
inline constexpr int kLanguageItemKeys = 9;

// The row of `key` (exact spelling), or nullptr.
constexpr const TextKey* findTextKey(std::string_view key) {
  for (const TextKey& row : kTextKeys) {
    if (row.key == key) return &row;
  }
  return nullptr;
}

}  // namespace i18n
