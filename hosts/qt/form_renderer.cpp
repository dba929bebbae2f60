#include "hosts/qt/form_renderer.h"

#include <QCheckBox>
#include <QEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleFactory>
#include <QTimer>
#include <cmath>

namespace vx {

namespace {

QColor Color(std::uint32_t rgb) {
  return QColor(static_cast<int>((rgb >> 16) & 0xFF), static_cast<int>((rgb >> 8) & 0xFF),
                static_cast<int>(rgb & 0xFF));
}

void Paint(QWidget* w, std::uint32_t rgb) {
  QPalette p = w->palette();
  p.setColor(QPalette::Window, Color(rgb));
  p.setColor(QPalette::Base, Color(rgb));
  w->setPalette(p);
  w->setAutoFillBackground(true);
}

Qt::Alignment ToQt(Align a) {
  switch (a) {
    case Align::kRight:
      return Qt::AlignRight | Qt::AlignTop;
    case Align::kCenter:
      return Qt::AlignHCenter | Qt::AlignTop;
    default:
      return Qt::AlignLeft | Qt::AlignTop;
  }
}

Qt::CheckState CheckState(int v) {
  return v == 1 ? Qt::Checked : v == 2 ? Qt::PartiallyChecked : Qt::Unchecked;
}

// Breaks a caption into lines that fit width, as the page's buttons wrap their captions.
QString Wrapped(const QString& text, const QFont& font, int width) {
  QFontMetrics fm(font);
  QString plain = text;
  plain.remove('&');
  if (fm.horizontalAdvance(plain) <= width) return text;
  QStringList words = text.split(' ');
  QStringList lines;
  QString line;
  for (const QString& w : words) {
    QString candidate = line.isEmpty() ? w : line + ' ' + w;
    QString measured = candidate;
    measured.remove('&');
    if (!line.isEmpty() && fm.horizontalAdvance(measured) > width) {
      lines << line;
      line = w;
    } else {
      line = candidate;
    }
  }
  if (!line.isEmpty()) lines << line;
  return lines.join('\n');
}

}  // namespace

QPixmap FormRenderer::DoneMark(QSize size) {
  QPixmap pm(size);
  pm.fill(Qt::white);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(128, 128, 128), 1));
  p.drawRect(0, 0, size.width() - 1, size.height() - 1);
  QPen tick(QColor(220, 0, 0), std::max(2.0, size.height() / 8.0), Qt::SolidLine, Qt::RoundCap,
            Qt::RoundJoin);
  p.setPen(tick);
  const double w = size.width(), h = size.height();
  QPointF pts[3] = {{w * 0.22, h * 0.52}, {w * 0.42, h * 0.75}, {w * 0.80, h * 0.24}};
  p.drawPolyline(pts, 3);
  return pm;
}

FormRenderer::FormRenderer(FormModel& form, QWidget* surface, double dpi)
    : QObject(surface), form_(form), surface_(surface), dpi_(dpi) {
  surface_->setFixedSize(Pixels(form.width), Pixels(form.height));
  QFont base = surface_->font();
  // Narrow sans-serif faces come closest to the page's design font metrics.
  base.setFamilies({"Liberation Sans", "Arial", "DejaVu Sans Condensed"});
  base.setPointSizeF(8.25);
  surface_->setFont(base);
  for (const auto& c : form_.controls())
    Build(*c);
  HidePartlyCoveredIndicators();
  observer_ = form_.AddObserver([this](const Control& c) { Update(c); });
}

void FormRenderer::HidePartlyCoveredIndicators() {
  // Controls that overlap are stacked in creation order. A check box whose indicator a later
  // sibling covers in part would show a sliver of it below that sibling: it is not drawn.
  const auto& all = form_.controls();
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (all[i]->kind != Kind::kCheckBox) continue;
    QWidget* w = WidgetFor(all[i]->Key());
    auto* indicator = w->findChild<QCheckBox*>("indicator");
    const QRect mark = indicator->geometry().translated(w->pos());
    for (std::size_t j = i + 1; j < all.size(); ++j) {
      QWidget* above = WidgetFor(all[j]->Key());
      if (!above || above->parentWidget() != w->parentWidget()) continue;
      const QRect covered = above->geometry().intersected(mark);
      if (!covered.isEmpty() && covered != mark) indicator->hide();
    }
  }
}

FormRenderer::~FormRenderer() {
  form_.RemoveObserver(observer_);
}

int FormRenderer::Pixels(int twips) const {
  return static_cast<int>(std::lround(twips * dpi_ / 1440.0));
}

QWidget* FormRenderer::WidgetFor(const std::string& key) const {
  auto it = widgets_.find(key);
  return it == widgets_.end() ? nullptr : it->second;
}

QTimer* FormRenderer::TimerFor(const std::string& key) const {
  auto it = timers_.find(key);
  return it == timers_.end() ? nullptr : it->second;
}

void FormRenderer::Build(const Control& c) {
  const std::string key = c.Key();
  if (c.kind == Kind::kTimer) {
    auto* t = new QTimer(this);
    t->setTimerType(Qt::PreciseTimer);  // a coarse timer may fire up to 5 % early
    t->setInterval(c.interval_ms);
    connect(t, &QTimer::timeout, this, [this, key] { Act(key, [this, key] { form_.Tick(key); }); });
    timers_[key] = t;
    Update(c);
    return;
  }
  QWidget* parent = c.parent.empty() ? surface_ : WidgetFor(c.parent);
  if (!parent) parent = surface_;
  QWidget* w = nullptr;
  switch (c.kind) {
    case Kind::kPictureBox:
      w = new QWidget(parent);
      Paint(w, c.back_color);
      break;
    case Kind::kFrame:
      if (c.border) {
        auto* g = new QGroupBox(parent);
        // The caption sits in the border line, as the page draws its frames.
        if (!frame_style_) frame_style_ = QStyleFactory::create("Windows");
        if (frame_style_) {
          frame_style_->setParent(this);
          g->setStyle(frame_style_);
        }
        w = g;
      } else {
        w = new QWidget(parent);  // a frame without border shows neither box nor caption
      }
      break;
    case Kind::kCheckBox: {
      // The indicator and a caption that wraps inside the box's rectangle; a click on the
      // caption is a click on the box. The filled background hides what lies beneath.
      w = new QWidget(parent);
      Paint(w, c.back_color);
      auto* b = new QCheckBox(w);
      b->setObjectName("indicator");
      auto* l = new QLabel(w);
      l->setObjectName("caption");
      l->setWordWrap(true);
      l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
      l->setBuddy(b);
      const int indicator = b->sizeHint().width();
      b->setGeometry(0, 0, indicator, Pixels(c.rect.height));
      l->setGeometry(indicator + 2, 0, Pixels(c.rect.width) - indicator - 2, Pixels(c.rect.height));
      l->installEventFilter(this);
      connect(b, &QCheckBox::clicked, this, [this, key, b] {
        if (!form_.Click(key)) b->setCheckState(CheckState(form_.Find(key)->value()));
      });
      break;
    }
    case Kind::kTextBox: {
      auto* e = new QLineEdit(parent);
      if (c.max_length > 0) e->setMaxLength(c.max_length);
      e->setReadOnly(c.locked);
      connect(e, &QLineEdit::textEdited, this, [this, key, e](const QString& text) {
        if (!form_.Type(key, text.toStdString())) {
          e->setText(QString::fromStdString(form_.Find(key)->text()));
        } else if (on_typed) {
          on_typed(key, text.toStdString());
        }
      });
      Paint(e, c.back_color);
      w = e;
      break;
    }
    case Kind::kLabel: {
      auto* l = new QLabel(parent);
      l->setWordWrap(true);
      l->setAlignment(ToQt(c.alignment));
      l->setTextFormat(Qt::PlainText);
      if (c.back_color != kLightGrey) Paint(l, c.back_color);
      w = l;
      break;
    }
    case Kind::kCommandButton: {
      auto* b = new QPushButton(parent);
      connect(b, &QPushButton::clicked, this,
              [this, key] { Act(key, [this, key] { form_.Click(key); }); });
      w = b;
      break;
    }
    case Kind::kOptionButton: {
      auto* r = new QRadioButton(parent);
      connect(r, &QRadioButton::clicked, this, [this, key] { form_.Click(key); });
      w = r;
      break;
    }
    case Kind::kProgressBar: {
      auto* p = new QProgressBar(parent);
      p->setRange(0, 100);
      p->setTextVisible(false);
      w = p;
      break;
    }
    case Kind::kImage: {
      auto* l = new QLabel(parent);
      l->setPixmap(DoneMark(QSize(Pixels(c.rect.width), Pixels(c.rect.height))));
      w = l;
      break;
    }
    case Kind::kTimer:
      return;
  }
  w->setObjectName(QString::fromStdString(key));
  w->setGeometry(Pixels(c.rect.left), Pixels(c.rect.top), Pixels(c.rect.width),
                 Pixels(c.rect.height));
  if (c.font_size != 8.25 || c.bold) {
    QFont f = w->font();
    f.setPointSizeF(c.font_size);
    f.setBold(c.bold);
    w->setFont(f);
  }
  if (!c.tooltip.empty()) w->setToolTip(QString::fromStdString(c.tooltip));
  widgets_[key] = w;
  Update(c);
}

void FormRenderer::Act(const std::string& key, const std::function<void()>& act) {
  if (around) {
    around(key, act);
  } else {
    act();
  }
}

bool FormRenderer::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonRelease) {
    if (auto* box = watched->parent()->findChild<QCheckBox*>("indicator")) {
      if (box->isEnabled()) box->click();
      return true;
    }
  }
  return QObject::eventFilter(watched, event);
}

void FormRenderer::Update(const Control& c) {
  if (updating_) return;
  updating_ = true;
  const std::string key = c.Key();
  if (QTimer* t = TimerFor(key)) {
    t->setInterval(c.interval_ms);
    if (c.enabled() && !t->isActive()) t->start();
    if (!c.enabled()) t->stop();
    updating_ = false;
    return;
  }
  QWidget* w = WidgetFor(key);
  if (!w) {
    updating_ = false;
    return;
  }
  const QString text = QString::fromStdString(c.text());
  if (auto* g = qobject_cast<QGroupBox*>(w)) {
    g->setTitle(text);
  } else if (c.kind == Kind::kCheckBox) {
    w->findChild<QLabel*>("caption")->setText(text);
    w->findChild<QCheckBox*>("indicator")->setCheckState(CheckState(c.value()));
  } else if (auto* r = qobject_cast<QRadioButton*>(w)) {
    r->setText(text);
    r->setChecked(c.value() == 1);
  } else if (auto* pb = qobject_cast<QPushButton*>(w)) {
    pb->setText(Wrapped(text, pb->font(), pb->width() - 8));
  } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
    if (e->text() != text) e->setText(text);
  } else if (auto* p = qobject_cast<QProgressBar*>(w)) {
    p->setValue(std::clamp(c.value(), 0, 100));
  } else if (auto* l = qobject_cast<QLabel*>(w)) {
    if (c.kind == Kind::kLabel) l->setText(text);
  }
  w->setEnabled(c.enabled());
  w->setVisible(c.visible());
  updating_ = false;
}

}  // namespace vx
