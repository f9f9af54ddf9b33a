#include "ui/UpdateDialog.h"

#include <QCheckBox>
#include <QCryptographicHash>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeDatabase>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <filesystem>

#include "logging/Logger.h"
#include "platform/Shell.h"
#include "settings/PcwSettings.h"
#include "ui/DialogHelpers.h"
#include "ui/HoverHelp.h"
#include "ui/UiText.h"

namespace pelcrow::ui {

namespace {

constexpr int kTimeoutMs = 30000;
// A description is a few lines; anything much larger is not one.
constexpr qint64 kMaxDescriptionBytes = 64 * 1024;

// Package types a desktop installer takes; anything else is only shown, never opened.
bool IsPackageType(const QString& mime) {
  static const QStringList types = {QStringLiteral("application/vnd.debian.binary-package"),
                                    QStringLiteral("application/x-deb"), QStringLiteral("application/x-rpm"),
                                    QStringLiteral("application/vnd.flatpak"),
                                    QStringLiteral("application/vnd.flatpak.ref")};
  return types.contains(mime);
}

std::optional<TUpdateDescription> NewerOffer(QNetworkReply* reply) {
  if (reply->error() != QNetworkReply::NoError) return std::nullopt;
  if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() != 200) return std::nullopt;
  const QByteArray body = reply->read(kMaxDescriptionBytes);
  auto offer = ParseUpdateDescription(std::string_view(body.constData(), static_cast<std::size_t>(body.size())));
  if (!offer || !IsNewerVersion(offer->Version, InstalledVersion())) return std::nullopt;
  return offer;
}

QNetworkReply* GetDescription(QNetworkAccessManager* network) {
  const std::string url = UpdateDescriptionUrl(Settings.DbgAUServer);
  if (!IsHttpsUrl(url)) return nullptr;
  return network->get(UpdateRequest(QUrl(QString::fromStdString(url))));
}

}  // namespace

QNetworkRequest UpdateRequest(const QUrl& url) {
  QNetworkRequest request(url);
  request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
  request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
  request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
  request.setRawHeader("Accept", "text/html, */*");
  request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Mozilla/3.0 (compatible; Indy Library)"));
  request.setTransferTimeout(kTimeoutMs);
  return request;
}

std::function<void(QWidget*)> RunStartupUpdateCheck = [](QWidget* parent) { ShowUpdateDialog(parent, true); };

std::function<void(const std::string&)> PresentDownload = [](const std::string& path) {
  const QString mime = QMimeDatabase().mimeTypeForFile(PathText(path)).name();
  if (IsPackageType(mime) && platform::HasDefaultApplication(mime.toStdString()) && platform::OpenFile(path)) return;
  platform::ShowInFileManager(path);
};

TfmUpdate::TfmUpdate(QWidget* parent, std::optional<TUpdateDescription> offer)
    : QDialog(parent), fNetwork(new QNetworkAccessManager(this)), fOffer(std::move(offer)) {
  setObjectName(QStringLiteral("fmUpdate"));
  setWindowTitle(Tr("Automatic Update"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  lblStatus = new QLabel(Tr("Performing update check ..."), this);
  lblStatus->setObjectName(QStringLiteral("lblStatus"));
  lblStatus->setWordWrap(true);
  lblQuestion = new QLabel(Tr("Do You want to download and install this update?"), this);
  lblQuestion->setObjectName(QStringLiteral("lblQuestion"));
  lblQuestion->setWordWrap(true);
  lblQuestion->hide();
  pbProgress = new QProgressBar(this);
  pbProgress->setObjectName(QStringLiteral("pbProgress"));
  pbProgress->setRange(0, 100);
  pbProgress->hide();
  chkCheckUpdates = new QCheckBox(this);
  chkCheckUpdates->setObjectName(QStringLiteral("chkCheckUpdates"));
  SetCaption(chkCheckUpdates, "Check for Updates on Startup");
  chkCheckUpdates->setProperty(kHoverHelpProperty, QByteArray("Application performs checking for updates on Startup"));
  chkCheckUpdates->setChecked(Settings.CheckForUpdates);
  btnOK = NewButton(this, "btnOK", "OK", true);
  btnOK->setEnabled(false);
  btnYes = NewButton(this, "btnYes", "Yes");
  btnNo = NewButton(this, "btnNo", "No");
  btnCancel = NewButton(this, "btnCancel", "Cancel");
  for (QPushButton* b : {btnYes, btnNo, btnCancel}) b->hide();
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(chkCheckUpdates);
  buttons->addStretch();
  for (QPushButton* b : {btnOK, btnYes, btnNo, btnCancel}) buttons->addWidget(b);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lblStatus);
  layout->addWidget(lblQuestion);
  layout->addWidget(pbProgress);
  layout->addStretch();
  layout->addLayout(buttons);
  RetranslateCaptions(this);
  auto* hover = new THoverHelp(this, nullptr);
  hover->WatchChildren();
  resize(480, 170);
  AlignCenter(this, parent);

  connect(chkCheckUpdates, &QCheckBox::toggled, this, [](bool on) {
    Settings.CheckForUpdates = on;
    Settings.SaveSettings();
  });
  connect(btnOK, &QPushButton::clicked, this, [this] { done(QDialog::Accepted); });
  connect(btnNo, &QPushButton::clicked, this, [this] { done(QDialog::Rejected); });
  connect(btnYes, &QPushButton::clicked, this, &TfmUpdate::Download);
  connect(btnCancel, &QPushButton::clicked, this, [this] {
    if (Downloading()) {
      fStop = true;
      fReply->abort();
    } else {
      done(QDialog::Accepted);
    }
  });
  if (fOffer) Offer(*fOffer);
}

TfmUpdate::~TfmUpdate() {
  if (fReply) {
    // Its end must not reach a window that is going away.
    fReply->disconnect(this);
    fReply->abort();
  }
  DiscardPartial();
}

void TfmUpdate::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!fChecked && !fOffer) {
    fChecked = true;
    QTimer::singleShot(2, this, &TfmUpdate::Check);
  }
}

// Only OK, No, or the end of a download close the window; Escape during a download cancels it.
void TfmUpdate::reject() {
  if (Downloading()) {
    btnCancel->click();
  } else if (btnOK->isVisible() && btnOK->isEnabled()) {
    done(QDialog::Accepted);
  } else if (btnNo->isVisible()) {
    done(QDialog::Rejected);
  }
}

void TfmUpdate::Check() {
  QNetworkReply* reply = GetDescription(fNetwork);
  if (!reply) {
    NoUpdate();
    return;
  }
  connect(reply, &QNetworkReply::finished, this, [this, reply] {
    reply->deleteLater();
    if (auto offer = NewerOffer(reply)) {
      Offer(*offer);
    } else {
      NoUpdate();
    }
  });
}

void TfmUpdate::Offer(const TUpdateDescription& offer) {
  fOffer = offer;
  lblStatus->setText(Tr("New version available: ") + QStringLiteral(" ") + QString::fromStdString(offer.Version));
  lblQuestion->show();
  btnOK->hide();
  btnYes->show();
  btnNo->show();
  btnOK->setEnabled(true);
}

void TfmUpdate::NoUpdate() {
  lblStatus->setText(Tr("No updates available at this moment"));
  btnOK->setEnabled(true);
}

void TfmUpdate::Fail(const QString& message) {
  lblStatus->setText(Tr("Error downloading update:"));
  lblQuestion->setText(message);
  lblQuestion->setStyleSheet(QStringLiteral("color: red"));
  lblQuestion->show();
  pbProgress->hide();
  for (QPushButton* b : {btnYes, btnNo, btnCancel}) b->hide();
  btnOK->show();
  btnOK->setEnabled(true);
}

void TfmUpdate::DiscardPartial() {
  delete fHash;
  fHash = nullptr;
  if (!fPartial) return;
  fPartial->close();
  fPartial->remove();
  delete fPartial;
  fPartial = nullptr;
}

void TfmUpdate::Download() {
  if (Downloading() || !fOffer) return;
  const TUpdateDescription offer = *fOffer;
  if (!IsHttpsUrl(offer.DownloadUrl)) {
    Fail(Tr("The update is not offered over a secure (https) connection; it is not downloaded."));
    return;
  }
  if (!IsSha256Text(offer.Sha256)) {
    Fail(Tr("The update description gives no SHA-256 checksum to check the download against; it is not "
            "downloaded."));
    return;
  }
  std::string folder = Settings.fSettingsPath;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  fTarget = folder + "/" + DownloadFileName(offer.DownloadUrl);
  fPartial = new QFile(PathText(fTarget + ".part"));
  if (!fPartial->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
    const QString why = fPartial->errorString();
    DiscardPartial();
    Fail(why);
    return;
  }
  fHash = new QCryptographicHash(QCryptographicHash::Sha256);
  fStop = false;
  lblStatus->setText(Tr("Downloading update ..."));
  lblQuestion->hide();
  btnYes->hide();
  btnNo->hide();
  btnCancel->show();
  pbProgress->setValue(0);
  pbProgress->show();
  fReply = fNetwork->get(UpdateRequest(QUrl(QString::fromStdString(offer.DownloadUrl))));
  connect(fReply, &QNetworkReply::readyRead, this, &TfmUpdate::ReadChunk);
  connect(fReply, &QNetworkReply::downloadProgress, this, &TfmUpdate::Progress);
  connect(fReply, &QNetworkReply::finished, this, &TfmUpdate::DownloadFinished);
}

// Written as it comes, so an installer needs no room in memory; hashed on the way.
void TfmUpdate::ReadChunk() {
  if (!fReply || !fPartial || fStop) return;
  const QByteArray chunk = fReply->readAll();
  fHash->addData(chunk);
  if (fPartial->write(chunk) != chunk.size()) {
    fStop = true;
    fReply->abort();
  }
}

void TfmUpdate::Progress(qint64 received, qint64 total) {
  if (total <= 0) {
    pbProgress->setRange(0, 0);
    return;
  }
  pbProgress->setRange(0, 100);
  const int percent = static_cast<int>(received * 100 / total);
  if (pbProgress->value() != percent) pbProgress->setValue(percent);
}

void TfmUpdate::DownloadFinished() {
  QNetworkReply* reply = fReply;
  fReply = nullptr;
  reply->deleteLater();
  if (fStop && !fPartial->error()) {
    // Cancelled: nothing of it stays, and the window closes.
    DiscardPartial();
    done(QDialog::Accepted);
    return;
  }
  if (!fStop) ReadChunk();
  const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
  if (reply->error() != QNetworkReply::NoError || status != 200 || fPartial->error() != QFileDevice::NoError) {
    const QString why = fPartial->error() != QFileDevice::NoError ? fPartial->errorString()
                        : reply->error() != QNetworkReply::NoError ? reply->errorString()
                                                                    : Tr("Server response incorrect");
    DiscardPartial();
    Fail(why);
    return;
  }
  const std::string digest = fHash->result().toHex().toStdString();
  if (digest != fOffer->Sha256) {
    DiscardPartial();
    WriteLog("Update download refused: its SHA-256 " + digest + " is not the announced " + fOffer->Sha256,
             lsvError);
    Fail(Tr("The downloaded file does not match the checksum of the update description; it was deleted."));
    return;
  }
  fPartial->close();
  QFile::remove(PathText(fTarget));
  if (!fPartial->rename(PathText(fTarget))) {
    const QString why = fPartial->errorString();
    DiscardPartial();
    Fail(why);
    return;
  }
  delete fPartial;
  fPartial = nullptr;
  delete fHash;
  fHash = nullptr;
  fDownloadedFile = fTarget;
  WriteLog("Update " + fOffer->Version + " downloaded to " + fTarget);
  PresentDownload(fTarget);
  done(QDialog::Accepted);
}

void ShowUpdateDialog(QWidget* parent, bool automatic) {
  if (!automatic) {
    TfmUpdate dialog(parent);
    RunModal(dialog);
    return;
  }
  // The start-up check asks quietly and shows a window only for a newer version.
  auto* network = new QNetworkAccessManager(parent);
  QNetworkReply* reply = GetDescription(network);
  if (!reply) {
    network->deleteLater();
    return;
  }
  QPointer<QWidget> owner = parent;
  QObject::connect(reply, &QNetworkReply::finished, network, [network, reply, owner] {
    reply->deleteLater();
    network->deleteLater();
    auto offer = NewerOffer(reply);
    if (!offer || !owner) return;
    auto* dialog = new TfmUpdate(owner, std::move(offer));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->show();
  });
}

}  // namespace pelcrow::ui
