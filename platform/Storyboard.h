#pragma once

#include <QHash>
#include <QString>

#include <functional>
#include <memory>

namespace platform {

class ViewController;

// Makes screens by identifier (each equals its controller's class name). An identifier that
// is not registered gives nothing, so the caller's screen stays.
class Storyboard {
 public:
  using Factory = std::function<std::unique_ptr<ViewController>()>;

  Storyboard();
  ~Storyboard();
  Storyboard(const Storyboard&) = delete;
  Storyboard& operator=(const Storyboard&) = delete;

  void registerScene(const QString& identifier, Factory factory);
  // Registers `Screen`, made with its default constructor, under `identifier`.
  template <typename Screen>
  void registerScene(const QString& identifier) {
    registerScene(identifier, [] { return std::make_unique<Screen>(); });
  }
  [[nodiscard]] bool hasScene(const QString& identifier) const;
  [[nodiscard]] std::unique_ptr<ViewController> instantiateController(const QString& identifier);

  // Routes the scenes' texts (their localisation keys) through the main bundle's lookup.
  // Done once per process; the storyboard does it on construction.
  static void installSceneTranslator();

 private:
  QHash<QString, Factory> factories_;
};

}  // namespace platform
