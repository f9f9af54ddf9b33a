// "Please Select Folder": the folder whose files the "Leave all files in Custom Folder" rule keeps.
#pragma once

#include <QDialog>

#include <string>
#include <vector>

class QCheckBox;
class QComboBox;

namespace pelcrow::ui {

class TfmSelectCustomFolder final : public QDialog {
  Q_OBJECT

 public:
  explicit TfmSelectCustomFolder(QWidget* parent = nullptr);

  // Fills the choice with the folders as given; the box shows them without the extended prefix.
  void InitFolderList(const std::vector<std::string>& folders);
  std::string SelectedFolder() const;
  // Selects the folder when it is in the list.
  void SetSelectedFolder(const std::string& folder);
  bool IncludeSubfolder() const;

 private:
  QComboBox* cbFolderList;
  QCheckBox* chkSubfoldes;
  std::vector<std::string> FOriginalFolderList;
};

}  // namespace pelcrow::ui
