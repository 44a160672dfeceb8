#include "ui/splash.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>
#include <QSplashScreen>
#include <QTimer>

#include "session/texts.h"
#include "ui/pictures.h"
#include "ui/window_texts.h"

namespace tavrin::ui {

namespace {

constexpr int kWidth = 480, kHeight = 269;
constexpr int kShownMs = 2000;

QPixmap splashPicture() {
  QPixmap picture(kWidth, kHeight);
  QPainter p(&picture);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, 0, kHeight);
  sky.setColorAt(0, QColor(18, 62, 112));
  sky.setColorAt(1, QColor(6, 26, 52));
  p.fillRect(picture.rect(), sky);
  drawDiskStack(p, QRectF(40, 70, 110, 114));
  p.setPen(Qt::white);
  QFont title("DejaVu Sans", 20, QFont::Bold);
  p.setFont(title);
  p.drawText(QRect(170, 70, kWidth - 190, 80), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap,
             texts::text(::tavrin::texts::kCaption));
  p.setFont(QFont("DejaVu Sans", 14));
  p.drawText(QRect(170, 160, kWidth - 190, 30), Qt::AlignLeft | Qt::AlignVCenter, texts::kVersion);
  return picture;
}

}  // namespace

void showSplash(QWidget* window) {
  auto* splash = new QSplashScreen(splashPicture(), Qt::WindowStaysOnTopHint);
  splash->setAttribute(Qt::WA_DeleteOnClose);
  splash->show();
  QTimer::singleShot(kShownMs, splash, [splash, window] { splash->finish(window); splash->close(); });
}

}  // namespace tavrin::ui
