#pragma once

#include <QString>

#include <memory>

#include "platform/Storyboard.h"
#include "platform/ViewController.h"
#include "platform/WindowController.h"

namespace platform {

// Replaces `current` as its window's content with a new screen `identifier` from the
// storyboard `current` came from; `configure` sets the new screen's inputs before it loads.
// Any step that fails (no storyboard, an unknown identifier, a screen of another class than
// `Screen`, `current` in no window) leaves `current` in place. Returns the new screen, now
// owned by the window, or nullptr.
template <typename Screen, typename Configure>
Screen* replaceContent(ViewController& current, const QString& identifier, Configure configure) {
  Storyboard* storyboard = current.storyboard();
  if (!storyboard) return nullptr;
  std::unique_ptr<ViewController> next = storyboard->instantiateController(identifier);
  auto* screen = dynamic_cast<Screen*>(next.get());
  if (!screen) return nullptr;
  configure(*screen);
  WindowController* window = current.windowController();
  if (!window) return nullptr;
  window->setContentViewController(std::move(next));
  return screen;
}

template <typename Screen>
Screen* replaceContent(ViewController& current, const QString& identifier) {
  return replaceContent<Screen>(current, identifier, [](Screen&) {});
}

}  // namespace platform
