#include "ui/ResolveAssistant.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include <map>
#include <string>

#include "base/UserPrompt.h"
#include "engine/SafetyLock.h"
#include "platform/FileOps.h"
#include "ui/ProcessingDialogs.h"
#include "ui/UiText.h"

namespace pelcrow::ui {

namespace {

constexpr int kTileIconSize = 48;

// Some of the style's icons come in small sizes only, and an icon is never drawn larger than its
// largest picture: those are scaled up, so that every tile shows its icon at one size.
QIcon TileIcon(QStyle::StandardPixmap which) {
  const QIcon icon = QApplication::style()->standardIcon(which);
  const QSize want(kTileIconSize, kTileIconSize);
  if (icon.actualSize(want) == want) return icon;
  QSize largest;
  for (const QSize& s : icon.availableSizes())
    if (s.width() > largest.width()) largest = s;
  const QPixmap source = icon.pixmap(largest.isValid() ? largest : want);
  QIcon scaled;
  for (const int factor : {1, 2})
    scaled.addPixmap(source.scaled(want * factor, Qt::KeepAspectRatio, Qt::SmoothTransformation));
  return scaled;
}

QToolButton* Tile(const char* name, const char* caption, QStyle::StandardPixmap icon, QWidget* parent) {
  auto* b = new QToolButton(parent);
  b->setObjectName(QString::fromLatin1(name));
  b->setText(Tr(caption));
  b->setIcon(TileIcon(icon));
  b->setIconSize(QSize(kTileIconSize, kTileIconSize));
  b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  b->setMinimumSize(120, 100);
  return b;
}

// The first group whose every unprocessed copy is checked; 0 when there is none.
std::uint32_t FullyCheckedGroup(TScanEngine& Engine) {
  std::map<std::uint32_t, std::pair<int, int>> groups;  // open copies, checked ones
  for (int i = 0; i < Engine.ItemCount(); ++i) {
    const PFileItem it = Engine.Item(i);
    if (it->fProcessed) continue;
    auto& g = groups[it->DupGroup];
    ++g.first;
    if (it->fSelected) ++g.second;
  }
  for (const auto& [group, counts] : groups)
    if (group != 0 && counts.first > 0 && counts.first == counts.second) return group;
  return 0;
}

// A caption as the summary line quotes it: on one line, trimmed.
QString OneLine(const QString& caption) { return QString(caption).replace(QLatin1Char('\n'), QLatin1Char(' ')).trimmed(); }

QWidget* TileRow(std::initializer_list<QWidget*> tiles, QWidget* parent) {
  auto* w = new QWidget(parent);
  auto* row = new QHBoxLayout(w);
  row->addStretch(1);
  for (QWidget* t : tiles) row->addWidget(t);
  row->addStretch(1);
  return w;
}

}  // namespace

TfmDuplicatesResolveWizard::TfmDuplicatesResolveWizard(TScanEngine& Engine, QWidget* parent)
    : QDialog(parent), fEngine(Engine) {
  setObjectName(QStringLiteral("fmDuplicatesResolveWizard"));
  setWindowTitle(Tr("Assistant"));
  auto* col = new QVBoxLayout(this);
  col->addLayout(BuildHeader());
  fSteps = new QStackedWidget(this);
  col->addWidget(fSteps, 1);
  BuildTileSteps();
  fSteps->addWidget(BuildOptionsStep());
  LoadStoredOptions();
  ConnectTiles();
  setMinimumSize(600, 320);
  ShowStep(1);
}

// Back, the step's number and caption, and Close.
QHBoxLayout* TfmDuplicatesResolveWizard::BuildHeader() {
  auto* head = new QHBoxLayout;
  bBack = new QToolButton(this);
  bBack->setObjectName(QStringLiteral("bBack"));
  bBack->setIcon(style()->standardIcon(QStyle::SP_ArrowBack));
  lbStep = new QLabel(this);
  lbStep->setObjectName(QStringLiteral("lbStep"));
  QFont bold = lbStep->font();
  bold.setBold(true);
  bold.setPointSizeF(bold.pointSizeF() * 1.3);
  lbStep->setFont(bold);
  lbStepCaption = new QLabel(this);
  lbStepCaption->setObjectName(QStringLiteral("lbStepCaption"));
  lbStepCaption->setFont(bold);
  bClose = new QToolButton(this);
  bClose->setObjectName(QStringLiteral("bClose"));
  bClose->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
  head->addWidget(bBack);
  head->addWidget(lbStep);
  head->addWidget(lbStepCaption, 1);
  head->addWidget(bClose);
  return head;

}

// Step 1 chooses what to keep, step 2 what to do with the rest.
void TfmDuplicatesResolveWizard::BuildTileSteps() {
  tileNewest = Tile("tileNewest", "Newest", QStyle::SP_ArrowUp, this);
  tileOldest = Tile("tileOldest", "Oldest", QStyle::SP_ArrowDown, this);
  tileOriginal = Tile("tileOriginal", "Original", QStyle::SP_DialogApplyButton, this);
  // It keeps the user's own marks; the command line's "original" rule is another thing.
  tileOriginal->setToolTip(Tr("Keep the copies as they are checked now"));
  fSteps->addWidget(TileRow({tileNewest, tileOldest, tileOriginal}, fSteps));
  tileRemove = Tile("tileRemove", "Remove Duplicates", QStyle::SP_TrashIcon, this);
  tileRename = Tile("tileRename", "Rename Duplicates", QStyle::SP_FileDialogDetailedView, this);
  tileMove = Tile("tileMove", "Move Duplicates", QStyle::SP_DirOpenIcon, this);
  tileLinks = Tile("tileLinks", "Create Symbolic Links", QStyle::SP_FileLinkIcon, this);
  tileLinks->setVisible(platform::HasSymbolicLinkPrivilege());
  fSteps->addWidget(TileRow({tileRemove, tileRename, tileMove, tileLinks}, fSteps));
}

// Step 3: the summary, the chosen action's options and the start.
QWidget* TfmDuplicatesResolveWizard::BuildOptionsStep() {
  auto* step3 = new QWidget(fSteps);
  auto* s3 = new QVBoxLayout(step3);
  lbSummary = new QLabel(step3);
  lbSummary->setObjectName(QStringLiteral("lbSummary"));
  lbSummary->setWordWrap(true);
  s3->addWidget(lbSummary);
  fOptions = new QStackedWidget(step3);
  ltRemoveOptions = new QWidget(fOptions);
  ltRemoveOptions->setObjectName(QStringLiteral("ltRemoveOptions"));
  auto* ro = new QVBoxLayout(ltRemoveOptions);
  rbMoveToRecycleBin = new QRadioButton(Tr("Move files to the Trash"),
                                        ltRemoveOptions);
  rbMoveToRecycleBin->setObjectName(QStringLiteral("rbMoveToRecycleBin"));
  rbDeletePermanently = new QRadioButton(Tr("Delete files permanently"), ltRemoveOptions);
  rbDeletePermanently->setObjectName(QStringLiteral("rbDeletePermanently"));
  ro->addWidget(rbMoveToRecycleBin);
  ro->addWidget(rbDeletePermanently);
  ro->addStretch(1);
  fOptions->addWidget(ltRemoveOptions);
  ltMoveOptions = new QWidget(fOptions);
  ltMoveOptions->setObjectName(QStringLiteral("ltMoveOptions"));
  auto* mo = new QVBoxLayout(ltMoveOptions);
  mo->addWidget(new QLabel(Tr("Move duplicates to folder:"), ltMoveOptions));
  MoveOptions = new TMoveOptions(ltMoveOptions);
  mo->addWidget(MoveOptions);
  mo->addStretch(1);
  fOptions->addWidget(ltMoveOptions);
  RenameOptions = new TRenameOptions(fOptions);
  RenameOptions->setObjectName(QStringLiteral("ltRenameOptions"));
  fOptions->addWidget(RenameOptions);
  fOptions->addWidget(new QWidget(fOptions));  // symbolic links: no options
  s3->addWidget(fOptions, 1);
  auto* buttons = new QHBoxLayout;
  bStartOver = new QPushButton(Tr("Start over"), step3);
  bStartOver->setObjectName(QStringLiteral("bStartOver"));
  bGetStarted = new QPushButton(Tr("Get Started!"), step3);
  bGetStarted->setObjectName(QStringLiteral("bGetStarted"));
  bGetStarted->setDefault(true);
  buttons->addWidget(bStartOver);
  buttons->addStretch(1);
  buttons->addWidget(bGetStarted);
  s3->addLayout(buttons);
  return step3;

}

void TfmDuplicatesResolveWizard::LoadStoredOptions() {
  MoveOptions->SetFolder(
      PathText(Settings.DupMovePathToMove.empty() ? DefaultMoveFolder() : Settings.DupMovePathToMove));
  MoveOptions->chkKFS->setChecked(Settings.DupMoveKeepFolderStructure);
  if (!Settings.DupRenamePrefixStr.empty()) RenameOptions->edPrefix->setText(PathText(Settings.DupRenamePrefixStr));
  (Settings.DupRenameSetAsPrefix ? RenameOptions->rbPrefix : RenameOptions->rbPostfix)->setChecked(true);
  (Settings.DupDeleteMoveToTrash ? rbMoveToRecycleBin : rbDeletePermanently)->setChecked(true);

}

void TfmDuplicatesResolveWizard::ConnectTiles() {
  connect(tileNewest, &QToolButton::clicked, this, [this] { ChooseSelect(rsNewest, tileNewest); });
  connect(tileOldest, &QToolButton::clicked, this, [this] { ChooseSelect(rsOldest, tileOldest); });
  connect(tileOriginal, &QToolButton::clicked, this, [this] { ChooseSelect(rsOriginal, tileOriginal); });
  connect(tileRemove, &QToolButton::clicked, this, [this] { ChooseResolve(rmRemove, tileRemove); });
  connect(tileRename, &QToolButton::clicked, this, [this] { ChooseResolve(rmRename, tileRename); });
  connect(tileMove, &QToolButton::clicked, this, [this] { ChooseResolve(rmMove, tileMove); });
  connect(tileLinks, &QToolButton::clicked, this, [this] { ChooseResolve(rmLinks, tileLinks); });
  connect(bBack, &QToolButton::clicked, this, [this] { ShowStep(1); });
  connect(bStartOver, &QPushButton::clicked, this, [this] { ShowStep(1); });
  connect(bGetStarted, &QPushButton::clicked, this, &TfmDuplicatesResolveWizard::GetStarted);
  connect(bClose, &QToolButton::clicked, this, &QDialog::reject);
}

int TfmDuplicatesResolveWizard::Step() const { return fSteps->currentIndex() + 1; }

void TfmDuplicatesResolveWizard::ShowStep(int step) {
  static const char* const kCaptions[] = {"Choose duplicate files you want to keep",
                                          "Choose an action for your duplicates", "Ready to Go!"};
  fSteps->setCurrentIndex(step - 1);
  lbStep->setText(Tr("Step %d:").replace(QStringLiteral("%d"), QString::number(step)));
  lbStepCaption->setText(Tr(kCaptions[step - 1]));
  bBack->setVisible(step == 2);
}

void TfmDuplicatesResolveWizard::ChooseSelect(TResolveSelect method, QToolButton* tile) {
  if (method == rsOriginal) {
    bool any = false;
    for (int i = 0; i < fEngine.ItemCount() && !any; ++i) {
      PFileItem it = fEngine.Item(i);
      any = it->fSelected && !it->fProcessed;
    }
    if (!any) {
      GetUserPrompt().ShowMessage(TMessageKind::mkWarning,
                                  TranslateText("You have no duplicates currently selected. Please choose another "
                                                "selection method or select items before running Assistant."));
      return;
    }
    // Keeping the current marks with every copy of a group checked: say which group first.
    if (const std::uint32_t group = FullyCheckedGroup(fEngine)) {
      std::string text = TranslateText(
          "Every copy of duplicate group %d is checked. Uncheck the copy to keep, or choose Newest or Oldest.");
      if (const std::size_t at = text.find("%d"); at != std::string::npos) text.replace(at, 2, std::to_string(group));
      GetUserPrompt().ShowMessage(TMessageKind::mkWarning, text);
      return;
    }
    if (!CheckSelectionProtection(fEngine, false, SafetyLockOptionsFor(Settings))) return;
  }
  FSelectMethod = method;
  txtSelectMethod = OneLine(tile->text());
  ShowStep(2);
}

void TfmDuplicatesResolveWizard::ChooseResolve(TResolveMethod method, QToolButton* tile) {
  FResolveMethod = method;
  txtResolveMethod = OneLine(tile->text());
  // One sentence with places, so that a language can put the two choices where its grammar wants them.
  lbSummary->setText(Tr("Select all except %1 and then %2").arg(txtSelectMethod, txtResolveMethod));
  fOptions->setCurrentIndex(method == rmRemove ? 0 : method == rmMove ? 1 : method == rmRename ? 2 : 3);
  ShowStep(3);
}

void TfmDuplicatesResolveWizard::GetStarted() {
  if (FResolveMethod == rmMove && !ValidateMoveFolder(MoveOptions->Folder())) return;
  if (FResolveMethod == rmRename && !ValidateRenameText(RenameOptions->Text())) return;
  Settings.DupMovePathToMove = PathBytes(MoveOptions->Folder());
  Settings.DupMoveKeepFolderStructure = MoveOptions->chkKFS->isChecked();
  Settings.DupRenamePrefixStr = PathBytes(RenameOptions->Text());
  Settings.DupRenameSetAsPrefix = RenameOptions->Prefix();
  Settings.DupDeleteMoveToTrash = rbMoveToRecycleBin->isChecked();
  accept();
}

}  // namespace pelcrow::ui
