// The ignore list in the window: the row menu's "Ignore this file" and "Ignore this pair" add to
// the user's list file, and the editor shows its entries with Remove and Close. Every change is
// saved at once, so the next scan (in the window or on the command line) sees it.
#pragma once

#include <QDialog>

#include <functional>
#include <string>

#include "engine/IgnoreList.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace pelcrow::ui {

// The user's list file; tests point it elsewhere.
extern std::function<std::string()> IgnoreListFile;

// Reads the user's list, applies Change and writes it back; false (after the message) when the
// file could not be read or written, or when Change changed nothing.
bool ChangeUserIgnoreList(const std::function<bool(TIgnoreList&)>& Change);
// The user's list as it is now; an unreadable file is logged and taken as empty.
TIgnoreList ReadUserIgnoreList();

class TfmIgnoreList final : public QDialog {
  Q_OBJECT

 public:
  explicit TfmIgnoreList(QWidget* parent = nullptr);

  QLabel* txtInfo;
  QListWidget* lbEntries;
  QPushButton* btnRemove;
  QPushButton* btnClose;

 private:
  void Fill();
  void RemoveSelected();
  TIgnoreList fList;
};

// Opens the editor modally.
void ShowIgnoreListEditor(QWidget* parent);

}  // namespace pelcrow::ui
