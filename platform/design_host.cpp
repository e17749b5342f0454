#include "platform/design_host.h"

#include <iostream>

#include "platform/component.h"

namespace brelix::platform {

namespace {
DesignHost* g_host = nullptr;
}

DesignHost* SetDesignHost(DesignHost* host) {
  DesignHost* previous = g_host;
  g_host = host;
  return previous;
}

DesignHost* CurrentDesignHost() { return g_host; }

bool IsDesigning(const Component& component) { return component.IsDesigning(); }

void ShowMessageBox(const std::string& text, MessageBoxKind kind) {
  if (g_host) {
    g_host->ShowMessageBox(text, kind);
    return;
  }
  std::cerr << text << '\n';
}

void NotifyDesigner(const Component* owner, const Persistent& object, bool inserted) {
  if (!owner || !g_host) return;
  const Component& root = owner->Root();
  if (!root.IsDesigning() || root.IsDestroying()) return;
  if (inserted)
    g_host->ObjectInserted(root, object);
  else
    g_host->ObjectRemoved(root, object);
}

}  // namespace brelix::platform
