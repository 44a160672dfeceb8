#include "ui/looks.h"

#include <QApplication>
#include <QPalette>
#include <QProxyStyle>
#include <QStyleOption>
#include <QSettings>
#include <QStyleFactory>

namespace tavrin::ui {

namespace {

// A palette from a window colour, a base colour, text and highlight.
QPalette palette(QColor window, QColor base, QColor text, QColor highlight) {
  QPalette p;
  p.setColor(QPalette::Window, window);
  p.setColor(QPalette::Button, window);
  p.setColor(QPalette::Base, base);
  p.setColor(QPalette::AlternateBase, window);
  p.setColor(QPalette::WindowText, text);
  p.setColor(QPalette::ButtonText, text);
  p.setColor(QPalette::Text, text);
  p.setColor(QPalette::ToolTipBase, base);
  p.setColor(QPalette::ToolTipText, text);
  p.setColor(QPalette::Highlight, highlight);
  p.setColor(QPalette::HighlightedText, Qt::white);
  p.setColor(QPalette::PlaceholderText, text.lighter(text.lightness() < 128 ? 250 : 70));
  p.setColor(QPalette::Disabled, QPalette::Text, QColor(128, 128, 128));
  p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(128, 128, 128));
  p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(128, 128, 128));
  return p;
}

QPalette paletteOf(int id) {
  switch (id) {
    case 210: return palette(QColor(212, 208, 200), Qt::white, Qt::black, QColor(10, 36, 106));      // classic
    case 211: return palette(QColor(236, 233, 216), Qt::white, Qt::black, QColor(49, 106, 197));     // olive
    case 212: return palette(QColor(240, 240, 240), Qt::white, Qt::black, QColor(51, 153, 255));     // light
    case 213: return palette(QColor(227, 239, 255), Qt::white, QColor(21, 66, 139), QColor(0, 120, 215));  // blue
    case 214: return palette(QColor(83, 83, 83), QColor(60, 60, 60), QColor(235, 235, 235), QColor(0, 120, 215));  // black
    case 216: return palette(QColor(233, 236, 238), Qt::white, Qt::black, QColor(96, 125, 139));    // silver
    case 217: return palette(QColor(225, 242, 240), Qt::white, QColor(0, 60, 60), QColor(0, 150, 136));  // aqua
    case 218: return palette(QColor(45, 45, 48), QColor(30, 30, 30), QColor(241, 241, 241), QColor(0, 122, 204));  // dark
    default: return palette(QColor(246, 246, 246), Qt::white, Qt::black, QColor(0, 120, 215));      // 215: the default
  }
}

// Fusion outlines a check box in a shade of the window colour; on a dark
// base that shade is lost and the tree's boxes vanish. On dark looks the
// box is drawn as if the window were mid grey.
class LookStyle : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;
  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
    if (element != PE_IndicatorCheckBox || option->palette.base().color().lightness() >= 128) {
      return QProxyStyle::drawPrimitive(element, option, painter, widget);
    }
    const auto* box = qstyleoption_cast<const QStyleOptionButton*>(option);
    if (!box) return QProxyStyle::drawPrimitive(element, option, painter, widget);
    QStyleOptionButton visible(*box);
    visible.palette.setColor(QPalette::Window, QColor(170, 170, 170));
    QProxyStyle::drawPrimitive(element, &visible, painter, widget);
  }
};

}  // namespace

const std::vector<Look>& looks() {
  static const std::vector<Look> all = {
      {210, "Classic"}, {211, "Olive"}, {212, "Light"},  {213, "Blue"}, {214, "Black"},
      {215, "Default"}, {216, "Silver"}, {217, "Aqua"}, {218, "Dark"},
  };
  return all;
}

void applyLook(int id) {
  QApplication::setStyle(new LookStyle(QStyleFactory::create(id == 210 ? "Windows" : "Fusion")));
  QApplication::setPalette(paletteOf(id));
}

int savedLook() {
  const int id = QSettings().value(kLookSetting, kDefaultLook).toInt();
  for (const Look& look : looks()) {
    if (look.id == id) return id;
  }
  return kDefaultLook;
}

void saveLook(int id) { QSettings().setValue(kLookSetting, id); }

}  // namespace tavrin::ui
