#include "ui/WizardDialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "base/UserPrompt.h"
#include "platform/SpecialFolders.h"
#include "settings/PcwSettings.h"
#include "ui/Artwork.h"
#include "ui/DialogHelpers.h"
#include "ui/ScanModes.h"
#include "ui/UiText.h"

namespace pelcrow::ui {

namespace {

constexpr const char* kTypeCaptions[] = {"Office Files", "Video Files", "Music Files", "Photo Files"};
constexpr const char* kTypeArt[] = {"Tile_office", "Tile_video", "Tile_music", "Tile_photo"};
constexpr const char* kLocationCaptions[] = {"My Documents", "My Videos", "My Music", "My Pictures", "Specify Folders"};
constexpr const char* kLocationArt[] = {"Tile_folder", "Tile_video", "Tile_music", "Tile_photo", "Tile_folders"};
constexpr const char* kStepCaptions[] = {"Step 1:", "Step 2:", "Step 3:"};
constexpr const char* kStepTexts[] = {"Choose the type of duplicate file to scan for",
                                      "Choose where to search for duplicates", "Ready to Go!"};
enum { pgType, pgLocation, pgReady, pgFolders };

void Message(TMessageKind kind, const char* text) { GetUserPrompt().ShowMessage(kind, TranslateText(text)); }

QPushButton* Button(QWidget* parent, const char* name, const char* caption) {
  auto* b = new QPushButton(parent);
  b->setObjectName(QString::fromLatin1(name));
  SetCaption(b, caption);
  return b;
}

QLabel* Caption(QWidget* parent, const char* caption, const char* style) {
  auto* l = new QLabel(parent);
  SetCaption(l, caption);
  l->setStyleSheet(QString::fromLatin1(style));
  return l;
}

// Which locations a file type offers, besides "Specify Folders".
bool Offers(TFileType type, TSearchLocation location) {
  switch (location) {
    case soMyDocuments:
    case soFolderList: return true;
    case soMyVideos: return type == ftVideo;
    case soMyMusic: return type == ftMusic;
    case soMyPictures: return type == ftPhoto;
  }
  return false;
}

}  // namespace

std::string TfmWizard::GetMask(int type) {
  switch (type) {
    case ftOffice:
      return "*.MDB;*.ADP;*.MDA;*.MDE;*.ADE;*.XL;*.XLA;*.XLS;*.XLSX;*.XLT;*.XLM;*.XLC;*.XLW;*.PPS;*.PPT;*.PPTX;*.DOC;"
             "*.DOCX;*.WRI;*.CSV;*.ODT;*.ODS;*.ODG;*.ODP;*.ODM;*.ODF;*.PDF;*.TXT;*.RTF;";
    case ftVideo: return "*.3GP;*.MP4;*.SWF;*.FLA;*.FLV;*.MKV;*.MPEG;*.MPG;*.M1V;*.MP2;*.MPA;*.MPE;*.MOV;*.AVI;*.WMV;*.DIVX;";
    case ftMusic:
      return "*.M4A;*.M4P;*.MP2;*.AAC;*.AIFF;*.APE;*.AU;*.FLAC;*.MID;*.MP3;*.OGG;*.RAW;*.WAV;*.WMA;*.MP3PRO;*.RM;*.RA;";
    case ftPhoto:
      return "*.BMP;*.GIF;*.ICO;*.JNG;*.JPG;*.JPEG;*.JPE;*.JP2;*.JPC;*.J2K;*.PNG;*.TIF;*.TIFF;*.EPS;*.CLP;*.CRW;*.CR2;"
             "*.DCX;*.EXR;*.KDC;*.PCX;*.PSD;*.RAW;*.SFW;*.WMF;";
    default: return "*.*";
  }
}

std::vector<std::string> TfmWizard::LocationFolders(TSearchLocation location) {
  switch (location) {
    case soMyDocuments: return TPcwSpecialFolders::GetDocumentsDirectory();
    case soMyVideos: return TPcwSpecialFolders::GetVideosDirectory();
    case soMyMusic: return TPcwSpecialFolders::GetMusicDirectory();
    case soMyPictures: return TPcwSpecialFolders::GetPicturesDirectory();
    case soFolderList: break;
  }
  return {};
}

TfmWizard::TfmWizard(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
  setObjectName(QStringLiteral("fmWizard"));
  setFixedSize(720, 440);
  auto* v = new QVBoxLayout(this);
  v->setContentsMargins(24, 10, 12, 14);
  v->addWidget(BuildHeader());
  v->addSpacing(26);
  pnSteps = new QStackedWidget(this);
  pnSteps->addWidget(BuildTypePage());
  pnSteps->addWidget(BuildLocationPage());
  pnSteps->addWidget(BuildReadyPage());
  pnSteps->addWidget(BuildFolderPage());
  v->addWidget(pnSteps, 1);
  chkDontShowWizard = new QCheckBox(this);
  chkDontShowWizard->setObjectName(QStringLiteral("chkDontShowWizard"));
  SetCaption(chkDontShowWizard, "Do not show wizard at startup");
  chkDontShowWizard->setChecked(!Settings.LaunchWizard);
  connect(chkDontShowWizard, &QCheckBox::toggled, this, [this] { StoreLaunchWizard(); });
  v->addWidget(chkDontShowWizard);
  connect(imgClose, &TArtImage::clicked, this, &QDialog::reject);
  connect(imgBack, &TArtImage::clicked, this, [this] { ShowStep(1); });
  GetLanguageController().AddToTranslateList(this);
  ShowStep(1);
}

// The choice about the next start is kept whatever way the wizard closes.
TfmWizard::~TfmWizard() {
  StoreLaunchWizard();
  try {
    Settings.SaveSettings();
  } catch (const std::exception& e) {
    GetUserPrompt().ShowMessage(TMessageKind::mkError, e.what());
  }
}

QWidget* TfmWizard::BuildHeader() {
  auto* head = new QWidget(this);
  auto* h = new QHBoxLayout(head);
  h->setContentsMargins(0, 0, 0, 0);
  imgBack = new TArtImage(QStringLiteral("BackBtn"), head);
  imgBack->setObjectName(QStringLiteral("imgBack"));
  imgBack->setFixedSize(24, 24);
  imgBack->setCursor(Qt::PointingHandCursor);
  imgBack->setToolTip(Tr("Back"));
  lbStep = new QLabel(head);
  lbStep->setObjectName(QStringLiteral("lbStep"));
  lbStep->setStyleSheet(QStringLiteral("color: white; font-size: 13pt;"));
  lbStepText = new QLabel(head);
  lbStepText->setObjectName(QStringLiteral("lbStepText"));
  lbStepText->setStyleSheet(QStringLiteral("color: white; font-size: 15pt; font-weight: bold;"));
  imgClose = new TArtImage(QStringLiteral("CloseBtn"), head);
  imgClose->setObjectName(QStringLiteral("imgClose"));
  imgClose->setFixedSize(24, 24);
  imgClose->SetHoverOpacity(0.8);
  imgClose->setCursor(Qt::PointingHandCursor);
  h->addWidget(imgBack);
  h->addWidget(lbStep);
  h->addWidget(lbStepText, 1);
  h->addWidget(imgClose, 0, Qt::AlignTop);
  return head;
}

TArtImage* TfmWizard::Tile(QWidget* parent, const char* art, const char* caption, const char* name, int w, int h) {
  auto* tile = new TArtImage(QString::fromLatin1(art), parent);
  tile->setObjectName(QString::fromLatin1(name));
  tile->setFixedSize(w, h);
  tile->setCursor(Qt::PointingHandCursor);
  tile->AddCaption(caption, nullptr, 11, true)->setWordWrap(true);
  return tile;
}

// The tiles of a step stand centred in one row.
QWidget* TfmWizard::BuildTypePage() {
  auto* page = new QWidget;
  auto* h = new QHBoxLayout(page);
  h->addStretch();
  for (int t = ftOffice; t <= ftPhoto; ++t) {
    const std::string name = "imgType" + std::to_string(t);
    TArtImage* tile = Tile(page, kTypeArt[t], kTypeCaptions[t], name.c_str(), 150, 96);
    connect(tile, &TArtImage::clicked, this, [this, t] { ChooseType(static_cast<TFileType>(t)); });
    fTypeTiles.push_back(tile);
    h->addWidget(tile);
  }
  h->addStretch();
  return page;
}

QWidget* TfmWizard::BuildLocationPage() {
  auto* page = new QWidget;
  auto* h = new QHBoxLayout(page);
  h->addStretch();
  for (int l = soMyDocuments; l <= soFolderList; ++l) {
    const std::string name = "imgLocation" + std::to_string(l);
    TArtImage* tile = Tile(page, kLocationArt[l], kLocationCaptions[l], name.c_str(), 150, 96);
    connect(tile, &TArtImage::clicked, this, [this, l] { ChooseLocation(static_cast<TSearchLocation>(l)); });
    fLocationTiles.push_back(tile);
    h->addWidget(tile);
  }
  h->addStretch();
  return page;
}

QWidget* TfmWizard::BuildReadyPage() {
  auto* page = new QWidget;
  auto* g = new QGridLayout(page);
  const char* plain = "color: #1e293b; font-size: 12pt;";
  g->addWidget(Caption(page, "Searching for:", plain), 0, 0);
  lbSearchFor = new QLabel(page);
  lbSearchFor->setObjectName(QStringLiteral("lbSearchFor"));
  lbSearchFor->setStyleSheet(QStringLiteral("color: #0f766e; font-size: 12pt; font-weight: bold;"));
  g->addWidget(lbSearchFor, 0, 1);
  g->addWidget(Caption(page, "Searching in:", plain), 1, 0);
  lbSearchIn = new QLabel(page);
  lbSearchIn->setObjectName(QStringLiteral("lbSearchIn"));
  lbSearchIn->setStyleSheet(QStringLiteral("font-size: 12pt; font-weight: bold;"));
  lbSearchIn->setCursor(Qt::PointingHandCursor);
  lbSearchIn->setToolTip(QString());
  connect(lbSearchIn, &QLabel::linkActivated, this, [this] { OpenFolderPage(); });
  g->addWidget(lbSearchIn, 1, 1);
  imgGetStarted = new TArtImage(QStringLiteral("TileStart"), page);
  imgGetStarted->setObjectName(QStringLiteral("imgGetStarted"));
  imgGetStarted->setFixedSize(180, 60);
  imgGetStarted->setCursor(Qt::PointingHandCursor);
  imgGetStarted->AddCaption("Get Started", "txtGetStarted", 13, true);
  connect(imgGetStarted, &TArtImage::clicked, this, [this] {
    if (!fFolderList.empty()) accept();
  });
  btnStartOver = Button(page, "btnStartOver", "Start over");
  btnStartOver->setFlat(true);
  btnStartOver->setCursor(Qt::PointingHandCursor);
  connect(btnStartOver, &QPushButton::clicked, this, [this] { ShowStep(1); });
  auto* actions = new QHBoxLayout;
  actions->addWidget(btnStartOver);
  actions->addStretch();
  actions->addWidget(imgGetStarted);
  g->addLayout(actions, 3, 0, 1, 2);
  g->setRowStretch(2, 1);
  g->setColumnStretch(1, 1);
  return page;
}

QWidget* TfmWizard::BuildFolderPage() {
  auto* page = new QWidget;
  page->setObjectName(QStringLiteral("pnSelectFolder"));
  auto* g = new QGridLayout(page);
  g->addWidget(Caption(page, "Specify Folder: Choose where to search", "color: #1e293b; font-size: 11pt;"), 0, 0, 1, 2);
  listSpecifyFolder = new QListWidget(page);
  listSpecifyFolder->setObjectName(QStringLiteral("listSpecifyFolder"));
  g->addWidget(listSpecifyFolder, 1, 0, 4, 1);
  btnAddFolder = Button(page, "btnAddFolder", "Add");
  btnRemoveFolder = Button(page, "btnRemoveFolder", "Remove");
  btnClearFolders = Button(page, "btnClearFolders", "Clear");
  btnFoldersOK = Button(page, "btnFoldersOK", "OK");
  btnFoldersCancel = Button(page, "btnFoldersCancel", "Cancel");
  g->addWidget(btnAddFolder, 1, 1);
  g->addWidget(btnRemoveFolder, 2, 1);
  g->addWidget(btnClearFolders, 3, 1);
  auto* h = new QHBoxLayout;
  h->addStretch();
  h->addWidget(btnFoldersOK);
  h->addWidget(btnFoldersCancel);
  g->addLayout(h, 5, 0, 1, 2);
  g->setColumnStretch(0, 1);
  g->setRowStretch(4, 1);
  connect(btnAddFolder, &QPushButton::clicked, this, &TfmWizard::AddFolder);
  connect(btnRemoveFolder, &QPushButton::clicked, this, &TfmWizard::RemoveFolder);
  connect(btnClearFolders, &QPushButton::clicked, listSpecifyFolder, &QListWidget::clear);
  connect(btnFoldersOK, &QPushButton::clicked, this, &TfmWizard::FolderPageOK);
  connect(btnFoldersCancel, &QPushButton::clicked, this, [this] { ShowStep(2); });
  return page;
}

// ---------------------------------------------------------------------------- steps

int TfmWizard::CurrentStep() const { return pnSteps->currentIndex() == pgFolders ? 2 : fStep; }

void TfmWizard::ShowStep(int step) {
  fStep = step;
  pnSteps->setCurrentIndex(step == 1 ? pgType : step == 2 ? pgLocation : pgReady);
  if (step == 1) fFolderList.clear();
  imgBack->setVisible(step != 1);
  if (step == 2) {
    for (int l = soMyDocuments; l <= soFolderList; ++l) {
      const auto location = static_cast<TSearchLocation>(l);
      // A special folder this user does not have is not offered.
      const bool has = location == soFolderList || !LocationFolders(location).empty();
      fLocationTiles[static_cast<std::size_t>(l)]->setVisible(Offers(FFileType, location) && has);
    }
  }
  if (step == 3) UpdateReadyPage();
  Retranslate();
}

void TfmWizard::ChooseType(TFileType type) {
  FFileType = type;
  ShowStep(2);
}

void TfmWizard::ChooseLocation(TSearchLocation location) {
  FSearchLocation = location;
  if (location == soFolderList) {
    fFolderList.clear();
    OpenFolderPage();
    return;
  }
  fFolderList = LocationFolders(location);
  ShowStep(3);
}

void TfmWizard::OpenFolderPage() {
  listSpecifyFolder->clear();
  for (const std::string& f : fFolderList) listSpecifyFolder->addItem(PathText(f));
  pnSteps->setCurrentIndex(pgFolders);
  // Still the choice of where to search.
  fStep = 2;
  imgBack->setVisible(true);
  Retranslate();
}

void TfmWizard::AddFolder() {
  const std::string folder = SelectFolder(this, Tr("Select Directory"), TPcwSpecialFolders::GetHomeDirectory(),
                                          TFolderCheck::fcExclusions, false);
  if (folder.empty()) return;
  for (int i = 0; i < listSpecifyFolder->count(); ++i) {
    if (PathBytes(listSpecifyFolder->item(i)->text()) == folder) return;
  }
  int reason = 0;
  if (TPcwSpecialFolders::CheckSpecialPathName(folder, reason, Settings.ScanOptions)) {
    Message(TMessageKind::mkWarning,
            "Some folders cannot be accepted, because \"Skip System and Application folders\" option enabled");
    return;
  }
  listSpecifyFolder->addItem(PathText(folder));
}

void TfmWizard::RemoveFolder() {
  QListWidgetItem* item = listSpecifyFolder->currentItem();
  if (!item || !item->isSelected()) {
    Message(TMessageKind::mkInformation, "No items selected. Please select folder you want to remove.");
    return;
  }
  delete listSpecifyFolder->takeItem(listSpecifyFolder->row(item));
}

void TfmWizard::FolderPageOK() {
  fFolderList.clear();
  for (int i = 0; i < listSpecifyFolder->count(); ++i) fFolderList.push_back(PathBytes(listSpecifyFolder->item(i)->text()));
  if (fFolderList.empty()) return;  // nothing to search in yet
  FSearchLocation = soFolderList;
  ShowStep(3);
}

void TfmWizard::UpdateReadyPage() {
  lbSearchFor->setText(Tr(kTypeCaptions[FFileType]));
  const QString where = Tr(FSearchLocation == soFolderList ? "Selected Folders" : kLocationCaptions[FSearchLocation]);
  QStringList shown;
  for (const std::string& f : fFolderList) shown << PathText(f);
  lbSearchIn->setText(QStringLiteral("<a href=\"#\">%1</a>").arg(where.toHtmlEscaped()));
  lbSearchIn->setToolTip(shown.join(QLatin1Char('\n')));
}

void TfmWizard::StoreLaunchWizard() { Settings.LaunchWizard = !chkDontShowWizard->isChecked(); }

void TfmWizard::Retranslate() {
  setWindowTitle(Tr("Wizard"));
  RetranslateCaptions(this);
  lbStep->setText(Tr(kStepCaptions[fStep - 1]));
  lbStepText->setText(Tr(kStepTexts[fStep - 1]));
  imgBack->setToolTip(Tr("Back"));
  if (fStep == 3) UpdateReadyPage();
  for (TArtImage* tile : findChildren<TArtImage*>()) tile->FitCaptions();
}

void TfmWizard::paintEvent(QPaintEvent*) { PaintBackground(this, QStringLiteral("WizardBack")); }

void TfmWizard::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  AlignCenter(this, parentWidget());
}

// ---------------------------------------------------------------------------- running it

bool TfmWizard::RunWizard(QWidget* owner, std::string& mask, std::string& folders) {
  if (IsMailMode()) {
    Message(TMessageKind::mkWarning,
            "Wizard cannot run in Emails or Contacts mode. Please choose another mode and try again.");
    return false;
  }
  if (Settings.ComparisonMode() == cmPhotoLibrary) {
    Message(TMessageKind::mkWarning, "Wizard cannot run in iPhoto mode. Please choose another mode and try again.");
    return false;
  }
  std::vector<std::string> chosen;
  TFileType type = ftOffice;
  {
    TfmWizard wizard(owner);
    if (RunModal(wizard) != QDialog::Accepted) return false;
    chosen = wizard.fFolderList;
    type = wizard.FFileType;
  }
  if (Settings.ComparisonMode() != cmCRC32) {
    Message(TMessageKind::mkInformation,
            "The current scan mode is automatically adjusted to the selected file types and set to CRC32+FileSize.");
    Settings.SetComparisonMode(cmCRC32);
  }
  mask = GetMask(type);
  folders.clear();
  for (const std::string& f : chosen) folders += (folders.empty() ? "" : "\n") + f;
  return true;
}

}  // namespace pelcrow::ui
