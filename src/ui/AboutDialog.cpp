#include "ui/AboutDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "base/AppName.h"
#include "platform/Shell.h"
#include "ui/AppStyle.h"
#include "ui/Artwork.h"
#include "ui/DialogHelpers.h"
#include "ui/UiText.h"

namespace pelcrow::ui {

namespace {

QLabel* Link(QWidget* parent, const char* name, const char* url) {
  auto* l = new QLabel(parent);
  l->setObjectName(QString::fromLatin1(name));
  l->setCursor(Qt::PointingHandCursor);
  l->setTextFormat(Qt::RichText);
  // Opened through the platform, like every document the program opens.
  QObject::connect(l, &QLabel::linkActivated, parent, [url] { platform::OpenDocument(url); });
  return l;
}

}  // namespace

QString TfmAbout::VersionText() {
  QStringList parts = QStringLiteral(PELCROW_VERSION).split(QLatin1Char('.'));
  while (parts.size() < 4) parts << QStringLiteral("0");
  return QStringLiteral("V ") + parts.mid(0, 4).join(QLatin1Char('.'));
}

TfmAbout::TfmAbout(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
  setObjectName(QStringLiteral("fmAbout"));
  setFixedSize(460, 300);
  auto* v = new QVBoxLayout(this);
  v->setContentsMargins(24, 10, 10, 18);
  auto* head = new QHBoxLayout;
  auto* icon = new QLabel(this);
  icon->setPixmap(AppIcon().pixmap(64, 64));
  auto* name = new QLabel(QString::fromStdString(std::string(kAppName)), this);
  name->setObjectName(QStringLiteral("txtProduct"));
  name->setStyleSheet(QStringLiteral("color: white; font-size: 24pt; font-weight: bold;"));
  imButton = new TArtImage(QStringLiteral("AboutBtn"), this);
  imButton->setObjectName(QStringLiteral("imButton"));
  imButton->setFixedSize(24, 24);
  imButton->SetHoverOpacity(0.8);
  imButton->setCursor(Qt::PointingHandCursor);
  head->addWidget(icon);
  head->addSpacing(10);
  head->addWidget(name, 1);
  head->addWidget(imButton, 0, Qt::AlignTop);
  v->addLayout(head);
  v->addSpacing(34);
  txtVersion = new QLabel(VersionText(), this);
  txtVersion->setObjectName(QStringLiteral("txtVersion"));
  txtVersion->setStyleSheet(QStringLiteral("color: #1e293b; font-size: 12pt; font-weight: bold;"));
  v->addWidget(txtVersion);
  auto* what = new QLabel(this);
  what->setWordWrap(true);
  what->setStyleSheet(QStringLiteral("color: #334155;"));
  SetCaption(what, "Finds duplicate files in the folders you choose and helps you get rid of them.");
  v->addWidget(what);
  v->addStretch();
  auto* links = new QHBoxLayout;
  lbHelp = Link(this, "lbHelp", kHelpUrl);
  lbURL = Link(this, "lbURL", kWebUrl);
  links->addWidget(lbHelp);
  links->addStretch();
  links->addWidget(lbURL);
  links->addSpacing(14);
  v->addLayout(links);
  connect(imButton, &TArtImage::clicked, this, &QDialog::accept);
  GetLanguageController().AddToTranslateList(this);
}

void TfmAbout::Retranslate() {
  setWindowTitle(Tr("About"));
  RetranslateCaptions(this);
  lbHelp->setText(QStringLiteral("<a href=\"%1\">%2</a>").arg(QString::fromLatin1(kHelpUrl), Tr("Need Help?")));
  const QString web = QString::fromLatin1(kWebUrl);
  lbURL->setText(QStringLiteral("<a href=\"%1\">%2</a>").arg(web, QString(web).remove(QStringLiteral("https://"))));
}

int TfmAbout::Execute() { return RunModal(*this); }

void TfmAbout::paintEvent(QPaintEvent*) { PaintBackground(this, QStringLiteral("AboutBack")); }

void TfmAbout::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  AlignCenter(this, parentWidget());
}

}  // namespace pelcrow::ui
