// "Please Select Folder": a folder of a scanner's own store (mail folders, address books, albums)
// chosen from a tree. The scanner describes its folders through a TFolderSource; the tree loads
// a node's subfolders when it is first opened.
#pragma once

#include <QDialog>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "localization/LanguageController.h"

class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace pelcrow::ui {

// One folder of a store: its shown name and the scanner's own key for it.
struct TFolderChoice {
  std::string Caption;
  std::string Id;
};

struct TFolderSource {
  std::vector<TFolderChoice> Roots;
  // The subfolders of a folder.
  std::function<std::vector<TFolderChoice>(const TFolderChoice&)> Children;
};

class TfmSelectFolderBase : public QDialog, public ITranslatable {
  Q_OBJECT

 public:
  explicit TfmSelectFolderBase(QWidget* parent = nullptr);
  // Fills the tree from the source and shows the window; the chosen folder, or none.
  std::optional<TFolderChoice> SelectFolder(const TFolderSource& source);
  void Retranslate() override;
  void accept() override;

  QTreeWidget* tvFolderList;
  QPushButton* btnOK;
  QPushButton* btnCancel;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Fill(const TFolderSource& source);
  QTreeWidgetItem* MakeItem(const TFolderChoice& folder);
  void LoadChildren(QTreeWidgetItem* item);

  std::vector<TFolderChoice> fFolders;  // item data indexes into this
  TFolderSource fSource;
};

}  // namespace pelcrow::ui
