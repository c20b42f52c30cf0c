#include "firmware/NamedImage.h"

#include <QAbstractButton>
#include <QIcon>
#include <QLabel>
#include <QVariant>

#include "platform/Bundle.h"

namespace {
constexpr char kImageNameProperty[] = "imageName";
}

void setNamedImage(QLabel* label, const QString& name) {
  if (!label) return;
  const QSize size = label->minimumSize();
  label->setPixmap(platform::imageNamed(name, size.isEmpty() ? QSize() : size));
  label->setProperty(kImageNameProperty, name);
}

void setNamedImage(QAbstractButton* button, const QString& name) {
  if (!button) return;
  button->setIcon(QIcon(platform::imageNamed(name, button->iconSize())));
  button->setProperty(kImageNameProperty, name);
}

QString namedImage(const QWidget* widget) {
  return widget ? widget->property(kImageNameProperty).toString() : QString();
}
