#include "ui/SettingsDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>


#include "ui/DialogHelpers.h"
#include "ui/HoverHelp.h"
#include "ui/UiText.h"

namespace pelcrow::ui {

namespace {

constexpr const char* kExclusionWarning = "WARNING: Do NOT modify this list until you exactly know what are you doing.";

// wrap: a text of its own lines (explanations), not a label beside a control.
QLabel* Text(QWidget* parent, const char* caption, const char* name = nullptr, bool wrap = true) {
  auto* l = new QLabel(parent);
  if (name) l->setObjectName(QString::fromLatin1(name));
  l->setWordWrap(wrap);
  SetCaption(l, caption);
  return l;
}

void SetHelp(QWidget* w, const char* help) {
  if (help) w->setProperty(kHoverHelpProperty, QByteArray(help));
}

}  // namespace

TfmSettings::TfmSettings(QWidget* parent, std::function<void(const QString&)> status) : QDialog(parent) {
  setObjectName(QStringLiteral("fmSettings"));
  auto* v = new QVBoxLayout(this);
  pcSettings = new QTabWidget(this);
  pcSettings->setObjectName(QStringLiteral("pcSettings"));
  // Every tab's caption in full, in both languages.
  pcSettings->setUsesScrollButtons(false);
  pcSettings->addTab(BuildFileSearchTab(), QString());
  pcSettings->addTab(BuildPreferencesTab(), QString());
  pcSettings->addTab(BuildLoggingTab(), QString());
  pcSettings->addTab(BuildMusicTab(), QString());
  pcSettings->addTab(BuildMailTab(), QString());
  pcSettings->addTab(BuildToolsTab(), QString());
  pcSettings->addTab(BuildAdvancedTab(), QString());
  v->addWidget(pcSettings, 1);
  v->addLayout(BuildButtons());
  pcSettings->setCurrentIndex(0);
  // Neither the photo library nor its synchronisation nor application bundles exist here.
  for (QWidget* w : std::initializer_list<QWidget*>{chkSkipMacApp, chkSyncIPhoto, rbIphoto}) w->hide();
  fHoverHelp = new THoverHelp(this, std::move(status));
  fHoverHelp->WatchChildren();
  ConnectControls();
  fOldOnLoaded = Settings.OnSettingsLoaded;
  Settings.OnSettingsLoaded = [this] { FillFromSettings(); };
  GetLanguageController().AddToTranslateList(this);
}

void TfmSettings::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  AlignCenter(this, parentWidget());
}

TfmSettings::~TfmSettings() {
  Settings.OnSettingsLoaded = fOldOnLoaded;
  fHoverHelp->HideTip();
  cbLanguages->clear();
}

// ---------------------------------------------------------------------------- check boxes

QCheckBox* TfmSettings::Check(QWidget* parent, const char* name, const char* caption, const char* help,
                              std::function<bool()> get, std::function<void(bool)> set) {
  auto* box = new QCheckBox(parent);
  box->setObjectName(QString::fromLatin1(name));
  SetCaption(box, caption);
  SetHelp(box, help);
  connect(box, &QCheckBox::toggled, this, [set](bool on) { set(on); });
  fBindings.push_back({box, std::move(get), std::move(set)});
  return box;
}

QCheckBox* TfmSettings::ScanCheck(QWidget* parent, const char* name, const char* caption, const char* help,
                                  TPcwScanOption o) {
  return Check(
      parent, name, caption, help, [o] { return Settings.ScanOptions.Contains(o); },
      [o](bool on) { Settings.ScanOptions.Set(o, on); });
}

QCheckBox* TfmSettings::CompareCheck(QWidget* parent, const char* name, const char* caption, const char* help,
                                     TPcwCompareOption o) {
  return Check(
      parent, name, caption, help, [o] { return Settings.CompareOptions.Contains(o); },
      [o](bool on) { Settings.CompareOptions.Set(o, on); });
}

QCheckBox* TfmSettings::BoolCheck(QWidget* parent, const char* name, const char* caption, const char* help,
                                  bool TPcwSettings::*m) {
  return Check(
      parent, name, caption, help, [m] { return Settings.*m; }, [m](bool on) { Settings.*m = on; });
}

QCheckBox* TfmSettings::LogCheck(QWidget* parent, const char* name, const char* caption, const char* help,
                                 TPcwLogEvent e) {
  return Check(
      parent, name, caption, help, [e] { return Settings.LogEvents.Contains(e); },
      [e](bool on) { Settings.LogEvents.Set(e, on); });
}

QCheckBox* TfmSettings::OutlookCheck(QWidget* parent, const char* name, const char* caption, const char* help,
                                     TOutlookOption o) {
  return Check(
      parent, name, caption, help, [o] { return Settings.OutlookOptions.Contains(o); },
      [o](bool on) { Settings.OutlookOptions.Set(o, on); });
}

QRadioButton* TfmSettings::ModeRadio(QWidget* parent, const char* name, const char* caption, const char* help,
                                     std::uint8_t mode) {
  auto* rb = new QRadioButton(parent);
  rb->setObjectName(QString::fromLatin1(name));
  SetCaption(rb, caption);
  SetHelp(rb, help);
  connect(rb, &QRadioButton::toggled, this, [this, mode](bool on) {
    if (!on) return;
    Settings.SetComparisonMode(mode);
    ApplyModeRule(mode);
    UpdateTabRules();
  });
  fModeRadios.emplace_back(rb, mode);
  return rb;
}

// ---------------------------------------------------------------------------- tabs

QWidget* TfmSettings::BuildFileSearchTab() {
  auto* tab = new QWidget;
  tab->setObjectName(QStringLiteral("tabFileSearch"));
  auto* v = new QVBoxLayout(tab);
  v->addWidget(BuildModeGroup(tab));
  v->addWidget(BuildScanOptionsGroup(tab), 1);
  return tab;
}

QWidget* TfmSettings::BuildModeGroup(QWidget* parent) {
  auto* g = new QGroupBox(parent);
  g->setObjectName(QStringLiteral("gbComparisonMode"));
  SetCaption(g, "Comparison Mode");
  auto* grid = new QGridLayout(g);
  rbCRC = ModeRadio(g, "rbCRC", "CRC32 Checksum + FileSize", "Search is performed using cyclic redundancy checksum",
                    cmCRC32);
  rbB2B = ModeRadio(g, "rbB2B", "Byte-by-Byte Comparison", "Searching files comparing their bytes", cmByteByByte);
  rbFilenameOnly = ModeRadio(g, "rbFilenameOnly", "Filename Only (fast scan)", "Search is performed using filenames only",
                             cmFileName);
  rbMusic = ModeRadio(g, "rbMusic", "Compare Music Tags", "Search files with equal music tags", cmMusicTags);
  rbOutlook = ModeRadio(g, "rbOutlook", "Emails", "Search for duplicate emails", cmEmails);
  rbContacts = ModeRadio(g, "rbContacts", "Contacts", "Search for duplicate contacts", cmContacts);
  rbIphoto = ModeRadio(g, "rbIphoto", "iPhoto Library", "Search for duplicate photos in iPhoto Library", cmPhotoLibrary);
  rbSimilarPictures = ModeRadio(g, "rbSimilarPictures", "Similar Pictures",
                                "Search for pictures that look alike: re-saved, re-compressed or resized copies",
                                cmSimilarPictures);
  chkIncludeFilename = CompareCheck(g, "chkIncludeFilename", "Include Filename", "Search compares filenames", coFileName);
  chkIncludeExtension =
      CompareCheck(g, "chkIncludeExtension", "Include Extension", "Search compares file extension", coExtension);
  chkIncludeFileSize = CompareCheck(g, "chkIncludeFileSize", "Include File Size", "Search compares file size", coFileSize);
  chkIncludeEXIF = CompareCheck(g, "chkIncludeEXIF", "Include EXIF tags (JPEG files)",
                                "Search compares EXIF tags (part of JPEG format)", coEXIF);
  int row = 0;
  for (QRadioButton* rb : {rbCRC, rbB2B, rbFilenameOnly, rbMusic, rbOutlook, rbContacts, rbIphoto, rbSimilarPictures}) {
    grid->addWidget(rb, row++, 0);
  }
  const int similarRow = row - 1;
  row = 0;
  for (QCheckBox* c : {chkIncludeFilename, chkIncludeExtension, chkIncludeFileSize, chkIncludeEXIF}) {
    grid->addWidget(c, row++, 1);
  }
  auto* similarity = new QHBoxLayout;
  similarity->addWidget(Text(g, "Similarity at least", nullptr, false));
  edSimilarity = new QSpinBox(g);
  edSimilarity->setObjectName(QStringLiteral("edSimilarity"));
  edSimilarity->setRange(kMinSimilarityPercent, 100);
  edSimilarity->setSuffix(QStringLiteral(" %"));
  SetHelp(edSimilarity, "Pictures at least this alike are shown as a group (100 %: only pictures that look the same)");
  similarity->addWidget(edSimilarity);
  similarity->addStretch();
  grid->addLayout(similarity, similarRow, 1);
  grid->setColumnStretch(0, 1);
  grid->setColumnStretch(1, 1);
  return g;
}

QWidget* TfmSettings::BuildScanOptionsGroup(QWidget* parent) {
  gbScanOptions = new QGroupBox(parent);
  gbScanOptions->setObjectName(QStringLiteral("gbScanOptions"));
  SetCaption(gbScanOptions, "Scan Options");
  auto* grid = new QGridLayout(gbScanOptions);
  QWidget* g = gbScanOptions;
  chkScanSubdirs = ScanCheck(g, "chkScanSubdirs", "Scan subdirectories", "Performs scanning of subdirectories", soScanSubdirs);
  chkExcludeContainer = ScanCheck(g, "chkExcludeContainer", "Exclude container folder",
                                  "Performs scanning of subdirectories only, files from parent directory will be excluded "
                                  "from scan",
                                  soExcludeContainer);
  chkSkipMacApp = ScanCheck(g, "chkSkipMacApp", "Skip *.app folders (applications)",
                            "Search excludes Mac OS X Application folders (*.app)", soSkipMacApp);
  chkSyncIPhoto = BoolCheck(g, "chkSyncIPhoto", "iPhoto library syncronization",
                            "Perform iPhoto library synchronization after successful mediafile deletion or movement",
                            &TPcwSettings::Sync_iPhoto);
  const std::vector<QCheckBox*> left = {
      ScanCheck(g, "chkSkipTemp", "Skip Temporary Files", "Search excludes temporary files", soSkipTemp),
      ScanCheck(g, "chkProtectSystemFiles", "Protect System Files", "System files are skipped during search",
                soProtectSystem),
      ScanCheck(g, "chkSkipSysApp", "Skip System and Application folders",
                "Search excludes system and application folders", soSkipSysAppFolders),
      ScanCheck(g, "chkSkipCompressed", "Skip Compressed Files", "Search excludes compressed files", soSkipCompressed),
      ScanCheck(g, "chkSkipZero", "Skip Zero-Size Files", "Search excludes files that have 0 size", soSkipZero),
      chkScanSubdirs,
      chkExcludeContainer,
      ScanCheck(g, "chkSkipRecycler", "Do NOT scan Recycle Bin", "Excludes search in Recycle Bin", soSkipRecycler),
  };
  const std::vector<QCheckBox*> right = {
      ScanCheck(g, "chkIncludeHidden", "Include Hidden Objects", "Search includes hidden objects", soIncludeHidden),
      ScanCheck(g, "chkRemoveEmpty", "Remove Empty Folders",
                "Empty folders are removed after Duplicate processing completes", soRemoveEmpty),
      BoolCheck(g, "chkMasterSelect", "Master Select Mode",
                "Allows to specify a folder or folders that will be used as search criteria.",
                &TPcwSettings::MasterSelectMode),
      ScanCheck(g, "chkSkipNtfsJunction", "Skip NTFS Junction Points", "Search excludes NTFS junction points",
                soSkipNtfsJunction),
      ScanCheck(g, "chkSkipNtfsHardLinks", "Skip NTFS Hard Links", "Search excludes NTFS hard links", soSkipNtfsHardLinks),
      chkSkipMacApp,
      BoolCheck(g, "chkSyncWMP", "Rhythmbox library synchronization",
                "Perform Rhythmbox library synchronization after successful mediafile deletion or movement",
                &TPcwSettings::Sync_WMP),
      BoolCheck(g, "chkSyncITunes", "MPD library synchronization",
                "Perform MPD library synchronization after successful mediafile deletion or movement",
                &TPcwSettings::Sync_iTunes),
      // Hidden ones last, so they leave no gap.
      chkSkipMacApp,
      chkSyncIPhoto,
  };
  for (std::size_t i = 0; i < left.size(); ++i) grid->addWidget(left[i], static_cast<int>(i), 0);
  for (std::size_t i = 0; i < right.size(); ++i) grid->addWidget(right[i], static_cast<int>(i), 1);
  grid->setRowStretch(static_cast<int>(right.size()), 1);
  return gbScanOptions;
}

QWidget* TfmSettings::BuildPreferencesTab() {
  auto* tab = new QWidget;
  tab->setObjectName(QStringLiteral("tabPreferences"));
  auto* v = new QVBoxLayout(tab);
  v->addWidget(BoolCheck(tab, "chkCheckUpdates", "Check for Updates on Startup",
                         "Application performs checking for updates on Startup", &TPcwSettings::CheckForUpdates));
  v->addWidget(BoolCheck(tab, "chkMaximizeOnStartup", "Maximize Window on Startup",
                         "Application maximizes its GUI on Startup", &TPcwSettings::MaximizeOnStartup));
  v->addWidget(BoolCheck(tab, "chkUseWizard", "Launch Wizard on Startup", "Duplicate Wizard is launched on Startup",
                         &TPcwSettings::LaunchWizard));
  v->addWidget(BoolCheck(tab, "chkKeepUserSettings", "Keep User Settings (Folders, Masks, Sizes, ...)",
                         "Application keeps custom user settings", &TPcwSettings::KeepUserSettings));
  v->addWidget(BoolCheck(tab, "chkShowQuickTips", "Show Quick Tips on Startup",
                         "Application shows help tooltips on Startup", &TPcwSettings::ShowQuickTips));
  auto* lang = new QHBoxLayout;
  lang->addWidget(Text(tab, "Language", nullptr, false));
  cbLanguages = new QComboBox(tab);
  cbLanguages->setObjectName(QStringLiteral("cbLanguages"));
  cbLanguages->setMinimumWidth(200);
  lang->addWidget(cbLanguages);
  lang->addStretch();
  v->addLayout(lang);
  chkShellContext = BoolCheck(tab, "chkShellContext", "Add file manager context menu",
                              "Add or remove OS shell context menu", &TPcwSettings::ShellContextMenu);
  v->addWidget(chkShellContext);
  txtAdminNote = Text(tab, "NOTE: Administrator privileges required to change this option", "txtAdminNote");
  txtAdminNote->hide();
  v->addWidget(txtAdminNote);
  v->addWidget(BoolCheck(tab, "chkDisableSafetyLock",
                         "Disable Original Files Protection (Accidental Deletion, Movement or Rename)",
                         "Safety Lock protects your original files from accidental deletion, movement or rename",
                         &TPcwSettings::DisableSafetyLock));
  auto* undo = new QHBoxLayout;
  undo->addWidget(Text(tab, "Keep undo records for", nullptr, false));
  edUndoDays = new QSpinBox(tab);
  edUndoDays->setObjectName(QStringLiteral("edUndoDays"));
  edUndoDays->setRange(0, 3650);
  SetHelp(edUndoDays, "Processing actions can be undone for this many days (0: for ever)");
  undo->addWidget(edUndoDays);
  undo->addWidget(Text(tab, "days (0: for ever)", nullptr, false));
  undo->addStretch();
  v->addLayout(undo);
  auto* similar = new QHBoxLayout;
  chkSimilarNames = BoolCheck(tab, "chkSimilarNames", "Compare File Names: similar names are one name, at least",
                              "Case, punctuation, copy marks such as \"(1)\", \"Copy\", \"Kopie\" and \"Remastered\" are ignored; "
                              "the words are compared letter by letter",
                              &TPcwSettings::SimilarNames);
  similar->addWidget(chkSimilarNames);
  edNameSimilarity = new QSpinBox(tab);
  edNameSimilarity->setObjectName(QStringLiteral("edNameSimilarity"));
  edNameSimilarity->setRange(1, 100);
  SetHelp(edNameSimilarity, "100: the same words; lower values let names with small spelling differences meet");
  similar->addWidget(edNameSimilarity);
  similar->addWidget(Text(tab, "% alike", nullptr, false));
  similar->addStretch();
  v->addLayout(similar);
  v->addStretch();
  return tab;
}

QWidget* TfmSettings::BuildLoggingTab() {
  auto* tab = new QWidget;
  tab->setObjectName(QStringLiteral("tabLogging"));
  auto* v = new QVBoxLayout(tab);
  chkEnableLogging = BoolCheck(tab, "chkEnableLogging", "Enable Logging",
                               "Checking this checkbox enables application logs", &TPcwSettings::EnableLogging);
  v->addWidget(chkEnableLogging);
  gbLogDirectory = new QGroupBox(tab);
  gbLogDirectory->setObjectName(QStringLiteral("gbLogDirectory"));
  SetCaption(gbLogDirectory, " Log directory ");
  auto* dir = new QGridLayout(gbLogDirectory);
  edLogDirectory = new QLineEdit(gbLogDirectory);
  edLogDirectory->setObjectName(QStringLiteral("edLogDirectory"));
  sbSelectDirectory = new QPushButton(gbLogDirectory);
  sbSelectDirectory->setObjectName(QStringLiteral("sbSelectDirectory"));
  SetCaption(sbSelectDirectory, "Browse");
  chkAutoDelete = Check(
      gbLogDirectory, "chkAutoDelete", "Automatically delete log files older than  ",
      "Application logs will be removed after selected period", [] { return Settings.AutoDeleteLogPeriod > 0; },
      [](bool on) {
        if (!on) Settings.AutoDeleteLogPeriod = 0;
      });
  DaysSpin = new QSpinBox(gbLogDirectory);
  DaysSpin->setObjectName(QStringLiteral("DaysSpin"));
  DaysSpin->setRange(1, 365);
  DaysSpin->setValue(1);
  dir->addWidget(edLogDirectory, 0, 0, 1, 3);
  dir->addWidget(sbSelectDirectory, 0, 3);
  dir->addWidget(chkAutoDelete, 1, 0);
  dir->addWidget(DaysSpin, 1, 1);
  dir->addWidget(Text(gbLogDirectory, "days", nullptr, false), 1, 2);
  dir->setColumnStretch(2, 1);
  v->addWidget(gbLogDirectory);

  gbLogEvents = new QGroupBox(tab);
  gbLogEvents->setObjectName(QStringLiteral("gbLogEvents"));
  SetCaption(gbLogEvents, " Log Events ");
  auto* ev = new QGridLayout(gbLogEvents);
  QWidget* g = gbLogEvents;
  const std::vector<QCheckBox*> events = {
      LogCheck(g, "chkFileFound", "File Found", "All found files will be logged", leFileFound),
      LogCheck(g, "chkFileSkipped", "File Skipped", "All skipped files will be logged", leFileSkipped),
      LogCheck(g, "chkFileRenamed", "File Renamed", "All renamed files will be logged", leFileRenamed),
      LogCheck(g, "chkFileMoved", "File Moved", "All moved files will be logged", leFileMoved),
      LogCheck(g, "chkFileDeleted", "File Deleted", "All deleted files will be logged", leFileDeleted),
      LogCheck(g, "chkFolderScanned", "Folder Scanned", "All scanned folders will be logged", leFolderScanned),
      LogCheck(g, "chkFolderSkipped", "Folder Skipped", "All skipped folders will be logged", leFolderSkipped),
      LogCheck(g, "chkSymLink", "File Replaced with SymLink", "All files replaced with a symbolic link will be logged",
               leSymLink),
      LogCheck(g, "chkMediaLibSyncOk", "Media library synchronization success",
               "Media library synchronization success will be logged", leMediaLibSyncOk),
      LogCheck(g, "chkMediaLibSyncFail", "Media library synchronization failure",
               "Media library synchronization errors will be logged", leMediaLibSyncFail),
  };
  for (std::size_t i = 0; i < events.size(); ++i) ev->addWidget(events[i], static_cast<int>(i % 5), static_cast<int>(i / 5));
  v->addWidget(gbLogEvents);
  v->addStretch();
  return tab;
}

QWidget* TfmSettings::BuildMusicTab() {
  auto* tab = new QWidget;
  tab->setObjectName(QStringLiteral("tabMusicTags"));
  auto* v = new QVBoxLayout(tab);
  v->addWidget(Text(tab,
                    "Most digital audio have small bits of information contained in them called \"Tags\". These tags "
                    "describe the various characteristics of an audio file. You can use these tags as the means of "
                    "comparing audio files."));
  v->addWidget(Text(tab, "Note: \"Compare Music Tags\" mode should be enabled to use these options."));
  static constexpr const char* kTags[] = {"Title", "Artist", "Album", "Track", "Year", "Genre", "Duration", "Bit Rate",
                                          "Use the combined comparison mode (Music Tags + CRC32)"};
  auto* grid = new QGridLayout;
  for (unsigned t = mtTitle; t <= mtCombined; ++t) {
    const auto o = static_cast<TMusicTagsOption>(t);
    const std::string name = "chkMusic" + std::to_string(t);
    QCheckBox* box = Check(
        tab, name.c_str(), kTags[t], nullptr, [o] { return Settings.MusicTagsOptions.Contains(o); },
        [o](bool on) { Settings.MusicTagsOptions.Set(o, on); });
    fMusicBoxes.push_back(box);
    if (o == mtCombined) {
      grid->addWidget(box, 4, 0, 1, 2);
    } else {
      grid->addWidget(box, static_cast<int>(t % 4), static_cast<int>(t / 4));
    }
  }
  v->addLayout(grid);
  v->addWidget(Text(tab,
                    "Note: Files, which do not have selected tags, will not be processed. Check this option to enable "
                    "processing of such files."));
  v->addStretch();
  return tab;
}

QWidget* TfmSettings::BuildMailTab() {
  auto* tab = new QWidget;
  tab->setObjectName(QStringLiteral("tabContactsEmails"));
  auto* v = new QVBoxLayout(tab);
  gbEmails = new QGroupBox(tab);
  gbEmails->setObjectName(QStringLiteral("gbEmails"));
  SetCaption(gbEmails, "Emails");
  auto* mail = new QGridLayout(gbEmails);
  QWidget* g = gbEmails;
  const std::vector<QCheckBox*> emails = {
      OutlookCheck(g, "chkFrom", "From", "Compare emails by sender", olFrom),
      OutlookCheck(g, "chkTo", "To", "Compare emails by recipient", olTo),
      OutlookCheck(g, "chkSubject", "Subject", "Compare emails by subject", olSubject),
      OutlookCheck(g, "chkReceivedDate", "Received Date", "Compare emails by received date", olReceivedDate),
      OutlookCheck(g, "chkBodySize", "Body Size", "Compare emails by body size", olBodySize),
      OutlookCheck(g, "chkContent", "Content", "Compare emails by content", olContent),
      OutlookCheck(g, "chkSubfolders", "Subfolders", "Include subfolders to scan", olSubfolders),
      OutlookCheck(g, "chkCaseSensitive", "Case Sensitive", "Search is Case Sensitive", olCaseSensitive),
  };
  for (std::size_t i = 0; i < emails.size(); ++i) mail->addWidget(emails[i], static_cast<int>(i % 4), static_cast<int>(i / 4));
  v->addWidget(gbEmails);
  gbContacts = new QGroupBox(tab);
  gbContacts->setObjectName(QStringLiteral("gbContacts"));
  SetCaption(gbContacts, "Contacts");
  auto* contacts = new QHBoxLayout(gbContacts);
  g = gbContacts;
  contacts->addWidget(OutlookCheck(g, "chkContactEmail", "Email", "Compare contacts by Email", olContactEmail));
  contacts->addWidget(OutlookCheck(g, "chkContactName", "Name", "Compare contacts by Name", olContactName));
  contacts->addWidget(
      OutlookCheck(g, "chkContactSubfolders", "Subfolders", "Include subfolders to scan", olContactSubfolders));
  contacts->addStretch();
  v->addWidget(gbContacts);
  // The mail and contact stores' locations join here once their scanners exist.
  gbStores = new QGroupBox(tab);
  gbStores->setObjectName(QStringLiteral("gbStores"));
  new QVBoxLayout(gbStores);
  gbStores->hide();
  v->addWidget(gbStores);
  v->addWidget(Text(tab, "\"Emails\" or \"Contacts\" mode should be enabled to use these options."));
  v->addStretch();
  return tab;
}

QWidget* TfmSettings::BuildToolsTab() {
  auto* tab = new QWidget;
  tab->setObjectName(QStringLiteral("tabTools"));
  auto* grid = new QGridLayout(tab);
  grid->addWidget(Text(tab, "These tools help you to diagnose  file composition and other activities"), 0, 0, 1, 2);
  btnCrcCalculator = NewButton(tab, "btnCrcCalculator", "CRC Calculator");
  btnTrackCleaner = NewButton(tab, "btnTrackCleaner", "Track Cleaner");
  grid->addWidget(btnCrcCalculator, 1, 0);
  grid->addWidget(Text(tab, "Use this utility to display file checksum values"), 1, 1);
  grid->addWidget(btnTrackCleaner, 2, 0);
  grid->addWidget(Text(tab, "Use this utility to delete invalid track references from the media libraries"), 2, 1);
  grid->setColumnStretch(1, 1);
  grid->setRowStretch(3, 1);
  return tab;
}

QWidget* TfmSettings::BuildAdvancedTab() {
  auto* tab = new QWidget;
  tab->setObjectName(QStringLiteral("tabAdvanced"));
  auto* grid = new QGridLayout(tab);
  grid->addWidget(Text(tab,
                       "This exclusion list overrides any other options and is intended to prevent $APP_NAME$ from "
                       "performing any operations inside that folders (scan, rename, move or delete files, etc.)"),
                  0, 0, 1, 2);
  lbExclusions = new QListWidget(tab);
  lbExclusions->setObjectName(QStringLiteral("lbExclusions"));
  grid->addWidget(lbExclusions, 1, 0, 5, 1);
  const auto button = [tab, grid](QPushButton*& b, const char* name, const char* caption, int row) {
    b = new QPushButton(tab);
    b->setObjectName(QString::fromLatin1(name));
    SetCaption(b, caption);
    grid->addWidget(b, row, 1);
  };
  button(btnAddExclusion, "btnAddExclusion", "Add", 1);
  button(btnAddMask, "btnAddMask", "Add mask", 2);
  button(btnRemoveExclusion, "btnRemoveExclusion", "Remove", 3);
  button(btnClearExclusions, "btnClearExclusions", "Clear", 4);
  grid->setRowStretch(5, 1);
  auto* warning = Text(tab, kExclusionWarning, "txtExclusionWarning");
  warning->setStyleSheet(QStringLiteral("color: #b00020;"));
  grid->addWidget(warning, 6, 0, 1, 2);
  grid->setColumnStretch(0, 1);
  return tab;
}

QLayout* TfmSettings::BuildButtons() {
  auto* h = new QHBoxLayout;
  btnRestoreDefaults = NewButton(this, "btnRestoreDefaults", "Restore Defaults");
  btnOK = NewButton(this, "btnOK", "OK", true);
  btnCancel = NewButton(this, "btnCancel", "Cancel");
  h->addWidget(btnRestoreDefaults);
  h->addStretch();
  h->addWidget(btnOK);
  h->addWidget(btnCancel);
  return h;
}

}  // namespace pelcrow::ui
