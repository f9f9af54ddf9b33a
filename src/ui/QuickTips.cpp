#include "ui/QuickTips.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <string>

#include "base/UserPrompt.h"
#include "settings/PcwSettings.h"
#include "ui/AppStyle.h"
#include "ui/DialogHelpers.h"
#include "ui/UiText.h"

namespace pelcrow::ui {

namespace {

constexpr const char* kTips[kQuickTipCount][2] = {
    {"Do you have lots of duplicate photos on your computer? Don\u2019t worry, $APP_NAME$ is here to help. To scan for "
     "duplicate photos choose the drive you wish to search within, or you can narrow it down by the folder.",
     "Then click on the \"Include File Types\" button and select the option for \"Photo Images\". Click on \"OK\", and "
     "\"Start\"."},
    {"Did you know that you can drag and drop a folder and a whole drive name from Windows Explorer directly into "
     "$APP_NAME$? It's true, simply open other programs, make your selections in Windows Explorer and drag them into "
     "$APP_NAME$ - dropping them either into the \"Include to Scan\" or \"Exclude from Scan\" windows.",
     "Hint: by holding down the Shift key you can drag and drop multiple folders at once."},
    {"To find Duplicates choose the folders you wish to scan or you can scan an entire drive. Make your selection and "
     "Add them to the Include to Scan window. You can do the same thing for folders to Exclude from Scan.",
     "Hint: Click the Select Folders link to open up Windows Explorer and choose a specific folder. Sub-folder scanning "
     "can be disabled through the Settings button."},
    {"When you decide to delete your duplicate file we recommend that you choose to move the file to the Recycle Bin "
     "instead, and not Delete them Permanently. If you move file to the Recycle Bin you\u2019ll be able to restore them "
     "afterward.",
     "Hint: If you want to restore a file you just moved to the Recycle Bin, simply right-click on the file and choose "
     "\"Open Recycle Bin\"."},
    {"Not sure if you should Rename, Move or Delete the duplicate files That's up to you, but the safest path is always "
     "to move the duplicate file to another folder or on a backup drive.",
     "Hint: if you decide to move or rename the duplicate files instead of deleting them you can exclude the folder "
     "from your automatic backups (if you perform backups)."},
    {"Not sure which files to select? Why not let $APP_NAME$ decide for you. Click on the \"Resolve Duplicates "
     "Assistant\" button and choose from one of the auto selection options. The option for \"Select all files: Leave "
     "only the newest version in each Dup.Group\" works best in most situations. Once selected you can then decide what "
     "to do with the duplicate files.",
     "Hint: You can click on the \"Select Duplicates\" button to bring up the Auto Select window."},
};

// Below 0 is the last tip; at or above the count wraps around.
int Wrapped(int index) {
  if (index < 0) return kQuickTipCount - 1;
  return index % kQuickTipCount;
}

}  // namespace

std::string TfrmQTips::TipText(int i) {
  const int k = Wrapped(i);
  return std::string(kTips[k][0]) + "\r\n\r\n" + kTips[k][1];
}

TfrmQTips::TfrmQTips(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmQTips"));
  setFixedSize(540, 300);
  auto* v = new QVBoxLayout(this);
  auto* body = new QHBoxLayout;
  auto* icon = new QLabel(this);
  icon->setPixmap(AppIcon().pixmap(48, 48));
  icon->setAlignment(Qt::AlignTop);
  lblText = new QLabel(this);
  lblText->setObjectName(QStringLiteral("lblText"));
  lblText->setWordWrap(true);
  lblText->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  lblText->setStyleSheet(QStringLiteral("font-size: 10.5pt; color: #1e293b;"));
  body->addWidget(icon);
  body->addSpacing(8);
  body->addWidget(lblText, 1);
  v->addLayout(body, 1);
  chkShowTips = new QCheckBox(this);
  chkShowTips->setObjectName(QStringLiteral("chkShowTips"));
  SetCaption(chkShowTips, "Show Quick Tips on Startup");
  chkShowTips->setChecked(Settings.ShowQuickTips);
  auto* h = new QHBoxLayout;
  h->addWidget(chkShowTips);
  h->addStretch();
  const auto button = [this, h](QPushButton*& b, const char* name, const char* caption) {
    b = new QPushButton(this);
    b->setObjectName(QString::fromLatin1(name));
    SetCaption(b, caption);
    h->addWidget(b);
  };
  button(btnPrevious, "btnPrevious", "Previous");
  button(btnNext, "btnNext", "Next");
  button(btnGetStarted, "btnGetStarted", "Get Started");
  btnGetStarted->setDefault(true);
  v->addLayout(h);
  connect(btnPrevious, &QPushButton::clicked, this, [this] {
    --Settings.QuickTipIndex;
    ShowTip();
  });
  connect(btnNext, &QPushButton::clicked, this, [this] {
    ++Settings.QuickTipIndex;
    ShowTip();
  });
  connect(btnGetStarted, &QPushButton::clicked, this, &QDialog::accept);
  GetLanguageController().AddToTranslateList(this);
}

// However the window closes, the check box's choice is kept.
TfrmQTips::~TfrmQTips() {
  Settings.ShowQuickTips = chkShowTips->isChecked();
  try {
    Settings.SaveSettings();
  } catch (const std::exception& e) {
    GetUserPrompt().ShowMessage(TMessageKind::mkError, e.what());
  }
}

void TfrmQTips::ShowTip() {
  Settings.QuickTipIndex = Wrapped(Settings.QuickTipIndex);
  lblText->setText(QString::fromStdString(TranslateText(TipText(Settings.QuickTipIndex))));
}

void TfrmQTips::Retranslate() {
  setWindowTitle(Tr("Quick Tips"));
  RetranslateCaptions(this);
  if (Settings.QuickTipIndex >= 0) ShowTip();
}

void TfrmQTips::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  AlignCenter(this, parentWidget());
}

void ShowQuickTips(QWidget* owner) {
  ++Settings.QuickTipIndex;
  TfrmQTips tips(owner);
  tips.ShowTip();
  RunModal(tips);
}

}  // namespace pelcrow::ui
