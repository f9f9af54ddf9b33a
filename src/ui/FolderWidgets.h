// The folder tree of step 1 (lazily filled from the core's folder-tree data, a drag source) and
// the two path lists (drop targets for tree nodes and for folders from a file manager).
#pragma once

#include <QListWidget>
#include <QTreeWidget>

#include "platform/FolderTree.h"

namespace pelcrow::ui {

inline constexpr const char* kFolderNodeMime = "application/x-pelcrow-folder-node";

class TFolderTree : public QTreeWidget {
  Q_OBJECT

 public:
  explicit TFolderTree(QWidget* parent = nullptr);
  // Rebuilds the top nodes; nodes below load their subfolders when first opened.
  void Fill(const std::vector<platform::TFolderNode>& roots);
  // Re-reads everything and opens the way to the folder that was selected.
  void Refresh(const std::vector<platform::TFolderNode>& roots);
  // The path of the selected node; empty without one.
  std::string SelectedPath() const;
  // Opens the nodes down to path (as far as they exist) and selects the deepest.
  void RevealPath(const std::string& path);
  void RetranslateRoots();
  // A tree known in whole (a mail store's folders): Parent indexes an earlier node, -1 for a top
  // node; nothing is loaded on opening.
  struct TFixedNode {
    std::string Caption, Path;
    int Parent = -1;
  };
  void FillFixed(const std::vector<TFixedNode>& nodes);
  void SetScanOptions(TPcwScanOptions options) { fOptions = options; }

  static std::string ItemPath(const QTreeWidgetItem* item);

 signals:
  void dragStarted();

 protected:
  QMimeData* mimeData(const QList<QTreeWidgetItem*>& items) const override;
  QStringList mimeTypes() const override;
  void startDrag(Qt::DropActions supportedActions) override;

 private:
  void LoadChildren(QTreeWidgetItem* item);
  QTreeWidgetItem* MakeItem(const platform::TFolderNode& node);
  TPcwScanOptions fOptions;
};

// Drops bring folder paths: tree nodes (fromTree) or file-manager URLs (local files only).
class TPathListBox : public QListWidget {
  Q_OBJECT

 public:
  explicit TPathListBox(QWidget* parent = nullptr);
  // Shown behind the list while it is empty.
  void SetHintText(const QString& text);
  QStringList Entries() const;

 signals:
  void pathsDropped(const QStringList& paths, bool fromTree);
  void dragEntered();

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  QString fHint;
};

}  // namespace pelcrow::ui
