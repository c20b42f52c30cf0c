#include "platform/Accessibility.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QDialog>
#include <QVariant>
#include <QWidget>

namespace platform {
namespace {

constexpr char kDecorative[] = "decorative";
constexpr char kCheckBox[] = "checkBox";

bool isDecorative(const QObject* object) { return object->property(kDecorative).toBool(); }

// A plain container or window whose decorative children are left out. The order of the others
// stays.
class ContainerInterface final : public QAccessibleWidget {
 public:
  ContainerInterface(QWidget* widget, QAccessible::Role role) : QAccessibleWidget(widget, role) {}

  int childCount() const override { return static_cast<int>(shownChildren().size()); }
  QAccessibleInterface* child(int index) const override {
    const QList<QAccessibleInterface*> children = shownChildren();
    return index >= 0 && index < children.size() ? children.at(index) : nullptr;
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    return static_cast<int>(shownChildren().indexOf(const_cast<QAccessibleInterface*>(child)));
  }

 private:
  QList<QAccessibleInterface*> shownChildren() const {
    QList<QAccessibleInterface*> children;
    const int count = QAccessibleWidget::childCount();
    for (int i = 0; i < count; ++i) {
      QAccessibleInterface* child = QAccessibleWidget::child(i);
      if (child && !(child->object() && isDecorative(child->object()))) children.append(child);
    }
    return children;
  }
};

// A push button that stands for a check box: the screen keeps the button's checked state.
// Qt's own button interface would report the same role and state, but its toggle action flips
// the button without a click, and the screens act on clicks: here every action is a click.
class CheckBoxInterface final : public QAccessibleWidget {
 public:
  explicit CheckBoxInterface(QAbstractButton* button) : QAccessibleWidget(button, QAccessible::CheckBox) {}

  QAbstractButton* button() const { return static_cast<QAbstractButton*>(widget()); }

  QAccessible::State state() const override {
    QAccessible::State state = QAccessibleWidget::state();
    state.checkable = true;
    state.checked = button()->isChecked();
    return state;
  }
  QString text(QAccessible::Text t) const override {
    QString text = QAccessibleWidget::text(t);
    if (t == QAccessible::Name && text.isEmpty()) text = button()->text().remove(u'&');
    return text;
  }
  QStringList actionNames() const override {
    QStringList names;
    if (button()->isEnabled()) names << toggleAction();
    return names + QAccessibleWidget::actionNames();
  }
  void doAction(const QString& action) override {
    if (!button()->isEnabled()) return;
    if (action == toggleAction() || action == pressAction()) {
      button()->click();
      return;
    }
    QAccessibleWidget::doAction(action);
  }
};

QAccessibleInterface* factory(const QString& className, QObject* object) {
  if (!object || !object->isWidgetType()) return nullptr;
  auto* widget = static_cast<QWidget*>(object);
  if (auto* button = qobject_cast<QAbstractButton*>(widget); button && widget->property(kCheckBox).toBool()) {
    return new CheckBoxInterface(button);
  }
  // Only what Qt would give the bare interface; every class of its own keeps Qt's. A bare
  // top-level widget is a window (Qt would call it a client area, which readers do not announce).
  if (className == QLatin1StringView("QWidget") && widget->metaObject() == &QWidget::staticMetaObject) {
    return new ContainerInterface(widget, widget->isWindow() ? QAccessible::Window : QAccessible::Client);
  }
  if (className == QLatin1StringView("QDialog") && widget->metaObject() == &QDialog::staticMetaObject) {
    return new ContainerInterface(widget, QAccessible::Dialog);
  }
  return nullptr;
}

}  // namespace

void installAccessibleInterfaces() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  QAccessible::installFactory(&factory);
}

void setDecorative(QWidget* widget) {
  if (widget) widget->setProperty(kDecorative, true);
}

}  // namespace platform
