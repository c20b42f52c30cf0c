#include "platform/Storyboard.h"

#include <QCoreApplication>
#include <QSet>
#include <QTranslator>

#include <mutex>

#include "platform/Bundle.h"
#include "platform/ViewController.h"

namespace platform {
namespace {

QSet<QString>& sceneContexts() {
  static QSet<QString> contexts;
  return contexts;
}

// The scenes' texts are localisation keys; uic asks for them under the scene's class name.
class SceneTranslator final : public QTranslator {
 public:
  using QTranslator::QTranslator;
  QString translate(const char* context, const char* sourceText, const char* = nullptr,
                    int = -1) const override {
    if (!context || !sourceText || !sceneContexts().contains(QString::fromUtf8(context))) return {};
    return Bundle::main().localizedString(QString::fromUtf8(sourceText));
  }
  bool isEmpty() const override { return false; }
};

}  // namespace

Storyboard::Storyboard() { installSceneTranslator(); }

Storyboard::~Storyboard() = default;

void Storyboard::registerScene(const QString& identifier, Factory factory) {
  factories_.insert(identifier, std::move(factory));
  sceneContexts().insert(identifier);
}

bool Storyboard::hasScene(const QString& identifier) const { return factories_.contains(identifier); }

std::unique_ptr<ViewController> Storyboard::instantiateController(const QString& identifier) {
  auto it = factories_.constFind(identifier);
  if (it == factories_.constEnd()) return nullptr;
  std::unique_ptr<ViewController> controller = (*it)();
  if (controller) controller->setStoryboard(this);
  return controller;
}

void Storyboard::installSceneTranslator() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (QCoreApplication* app = QCoreApplication::instance()) {
      QCoreApplication::installTranslator(new SceneTranslator(app));
    }
  });
}

}  // namespace platform
