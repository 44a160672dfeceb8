#include "ui/about_dialog.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "session/texts.h"
#include "ui/pictures.h"
#include "ui/window_texts.h"

namespace tavrin::ui {

namespace {

constexpr int kPictureSize = 96;

QPixmap productPicture() {
  QPixmap picture(kPictureSize, kPictureSize);
  picture.fill(Qt::transparent);
  QPainter p(&picture);
  drawDiskStack(p, QRectF(4, 8, kPictureSize - 8, kPictureSize - 16));
  return picture;
}

}  // namespace

AboutDialog::AboutDialog(QWidget* parent, LinkOpener openLink)
    : QDialog(parent), openLink_(std::move(openLink)) {
  if (!openLink_) openLink_ = [](const QUrl& url) { QDesktopServices::openUrl(url); };
  setWindowTitle(texts::text(::tavrin::texts::kCaption));

  auto* picture = new QLabel;
  picture->setPixmap(productPicture());
  picture->setAlignment(Qt::AlignTop);

  auto* title = new QLabel(texts::text(::tavrin::texts::kCaption));
  QFont bold = title->font();
  bold.setBold(true);
  bold.setPointSizeF(bold.pointSizeF() * 1.3);
  title->setFont(bold);

  auto* words = new QVBoxLayout;
  words->addWidget(title);
  for (const char* line : {texts::kVersion, texts::kPurpose, texts::kRightsHolder, texts::kLicence}) {
    auto* label = new QLabel(texts::text(line));
    label->setWordWrap(true);
    words->addWidget(label);
  }

  auto* linkRow = new QHBoxLayout;
  linkRow->addWidget(addLink("Web site", texts::text(texts::kWebsiteTip), texts::kWebsiteUrl));
  linkRow->addWidget(addLink("Support", texts::text(texts::kSupportTip), texts::kSupportUrl));
  linkRow->addWidget(addLink("Sales", texts::text(texts::kSalesTip), texts::kSalesUrl));
  linkRow->addStretch();
  ok_ = new QPushButton("OK");
  ok_->setAutoDefault(false);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  linkRow->addWidget(ok_);
  words->addSpacing(8);
  words->addLayout(linkRow);

  auto* layout = new QHBoxLayout(this);
  layout->addWidget(picture);
  layout->addLayout(words, 1);
  setMinimumWidth(460);
}

QToolButton* AboutDialog::addLink(const QString& caption, const QString& tip, const char* url) {
  auto* link = new QToolButton;
  link->setText(caption);
  link->setToolTip(tip);
  link->setAutoRaise(true);
  link->setCursor(Qt::PointingHandCursor);
  QFont underlined = link->font();
  underlined.setUnderline(true);
  link->setFont(underlined);
  QPalette colours = link->palette();
  colours.setColor(QPalette::ButtonText, colours.color(QPalette::Link));
  link->setPalette(colours);
  const QUrl target(QString::fromUtf8(url));
  connect(link, &QToolButton::clicked, this, [this, target] { openLink_(target); });
  links_.append(link);
  return link;
}

void AboutDialog::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape: event->accept(); return;
    default: QDialog::keyPressEvent(event);
  }
}

void AboutDialog::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
  QDialog::mousePressEvent(event);
}

void AboutDialog::mouseMoveEvent(QMouseEvent* event) {
  if (event->buttons() & Qt::LeftButton) move(event->globalPosition().toPoint() - dragOffset_);
  QDialog::mouseMoveEvent(event);
}

}  // namespace tavrin::ui
