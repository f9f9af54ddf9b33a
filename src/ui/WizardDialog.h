// "Wizard": a typical scan in three clicks — the kind of files, where to look, "Get Started". It
// gives an include mask and a folder list; the main window starts the scan with them, and the
// resolve assistant follows that scan.
#pragma once

#include <QDialog>

#include <cstdint>
#include <string>
#include <vector>

#include "localization/LanguageController.h"

class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;
class QStackedWidget;

namespace pelcrow::ui {

class TArtImage;

enum TFileType : std::uint8_t { ftOffice, ftVideo, ftMusic, ftPhoto };
enum TSearchLocation : std::uint8_t { soMyDocuments, soMyVideos, soMyMusic, soMyPictures, soFolderList };

class TfmWizard : public QDialog, public ITranslatable {
  Q_OBJECT

 public:
  explicit TfmWizard(QWidget* parent = nullptr);
  ~TfmWizard() override;
  void Retranslate() override;

  // Runs the wizard over owner: true with the mask and the folders (one per line in the text)
  // when the user pressed "Get Started". Refuses in the mail and photo modes.
  static bool RunWizard(QWidget* owner, std::string& mask, std::string& folders);
  // The include mask of a file type ("*.*" for any other value).
  static std::string GetMask(int type);
  // The folders of a special location (the user's documents, videos, music or pictures).
  static std::vector<std::string> LocationFolders(TSearchLocation location);

  TFileType FFileType = ftOffice;
  TSearchLocation FSearchLocation = soMyDocuments;
  std::vector<std::string> fFolderList;

  // Steps and pages, for the tests that act as the user.
  void ChooseType(TFileType type);
  void ChooseLocation(TSearchLocation location);
  void ShowStep(int step);
  int CurrentStep() const;
  QStackedWidget* pnSteps;
  QLabel* lbStep;
  QLabel* lbStepText;
  TArtImage* imgBack;
  TArtImage* imgClose;
  QCheckBox* chkDontShowWizard;
  std::vector<TArtImage*> fTypeTiles;
  std::vector<TArtImage*> fLocationTiles;
  QLabel* lbSearchFor;
  QLabel* lbSearchIn;
  TArtImage* imgGetStarted;
  QPushButton* btnStartOver;
  QListWidget* listSpecifyFolder;
  QPushButton *btnAddFolder, *btnRemoveFolder, *btnClearFolders, *btnFoldersOK, *btnFoldersCancel;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  QWidget* BuildTypePage();
  QWidget* BuildLocationPage();
  QWidget* BuildReadyPage();
  QWidget* BuildFolderPage();
  QWidget* BuildHeader();
  TArtImage* Tile(QWidget* parent, const char* art, const char* caption, const char* name, int w, int h);
  void OpenFolderPage();
  void AddFolder();
  void RemoveFolder();
  void FolderPageOK();
  void UpdateReadyPage();
  void StoreLaunchWizard();

  int fStep = 1;
};

}  // namespace pelcrow::ui
