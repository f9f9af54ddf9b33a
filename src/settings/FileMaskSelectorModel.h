// What the mask selector window does, without the window: the list of named mask groups, their
// ticks and tick rules, the list edits, and the field text and stored list it hands back on OK.
// The Qt dialog shows this model and forwards every user action to it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "settings/FileMasks.h"
#include "settings/PcwSettings.h"

namespace pelcrow {

enum class TMaskSelectorKind : std::uint8_t { mskInclude, mskExclude };

class TFileMaskSelectorModel {
 public:
  // storedList: the quoted comma list to offer; fieldText: the field the selector was opened for.
  // Entries that are blank are not offered.
  TFileMaskSelectorModel(TMaskSelectorKind kind, bool musicMode, std::string_view storedList,
                         std::string_view fieldText);
  // Takes the mode and the list of that kind from the settings record.
  TFileMaskSelectorModel(TMaskSelectorKind kind, const TPcwSettings& settings, std::string_view fieldText);

  static const std::string& StoredList(const TPcwSettings& settings, TMaskSelectorKind kind, bool musicMode);

  TMaskSelectorKind Kind() const { return fKind; }
  bool MusicMode() const { return fMusicMode; }
  // Untranslated: "INCLUDE File Masks" or "EXCLUDE File Masks".
  const char* Caption() const;
  // " Select all ", " Unselect all " and " Reverse selection " exist only in the music mode.
  bool SelectionButtonsVisible() const { return fMusicMode; }
  // "Add mask", "Edit" and "Delete"; the music lists are fixed.
  bool ListEditable() const { return !fMusicMode; }

  std::size_t Count() const { return fItems.size(); }
  const std::string& Entry(std::size_t index) const { return fItems.at(index).Entry; }
  const std::string& Patterns(std::size_t index) const { return fItems.at(index).Patterns; }
  bool Checked(std::size_t index) const { return fItems.at(index).Checked; }

  // Ticks or unticks one entry (an index out of range is ignored). Outside the music mode an entry
  // that becomes ticked unticks the others that conflict with it: "*.*" takes the place of every
  // other group, and any other group takes the place of those with "*.*".
  void SetChecked(std::size_t index, bool checked);
  void SelectAll();
  void UnselectAll();
  void ReverseSelection();

  // The include selector needs at least one ticked entry; the exclude selector may return nothing.
  bool OkEnabled() const;

  // The editor's fields for an entry ("Edit"); empty parts for an index out of range.
  TMaskEntryParts EditFields(std::size_t index) const;
  // "Add mask": appends an unticked entry. False (nothing changes) when the mask is empty after
  // trimming or the list is not editable.
  bool AddMask(std::string_view mask, std::string_view description);
  // "Edit": replaces the entry, keeping its tick. False when nothing changed for the same reasons,
  // or for an index out of range.
  bool EditMask(std::size_t index, std::string_view mask, std::string_view description);
  // "Delete": removes the entry at once.
  bool DeleteMask(std::size_t index);
  // "Restore Defaults": the default list of this selector, with only the defaults' own ticks (all
  // music entries of the include selector, "Any File" of the include selector, nothing else).
  void RestoreDefaults();

  // The field text on OK: the ticked patterns in list order, each followed by ";".
  std::string ResultFieldText() const;
  // What the selector returns: the result on OK, the field it was opened with otherwise.
  std::string FieldTextOnClose(bool accepted) const { return accepted ? ResultFieldText() : fFieldText; }
  // The current list in the stored format.
  std::string ListText() const;
  // On OK outside the music mode, puts the list into its settings field and returns true: the
  // caller then saves the settings. The music lists are never changed (false).
  bool StoreList(TPcwSettings& settings) const;

 private:
  struct TItem {
    std::string Entry;
    std::string Patterns;
    bool Checked = false;
  };
  static TItem MakeItem(std::string entry);
  void LoadEntries(const std::vector<std::string>& entries);

  TMaskSelectorKind fKind;
  bool fMusicMode;
  std::string fFieldText;
  std::vector<TItem> fItems;
};

}  // namespace pelcrow
