#include "server/classmanager.h"

#include "automation/raii.h"
#include "server/factory.h"

namespace vantorelix {
namespace {
TComClassManager* gManager = nullptr;
}

TComClassManager& comClassManager() {
  if (!gManager) gManager = new TComClassManager();
  return *gManager;
}

void destroyComClassManager() {
  delete gManager;
  gManager = nullptr;
}

TComClassManager::~TComClassManager() {
  while (head_) {
    Node* next = head_->next;
    delete head_;
    head_ = next;
  }
}

void TComClassManager::AddFactory(TComObjectFactory* factory) {
  Node* node = new Node{factory, nullptr};
  ExclusiveLock hold(lock_);
  node->next = head_;
  head_ = node;
}

void TComClassManager::RemoveFactory(TComObjectFactory* factory) {
  auto unlink = [&] {
    for (Node** link = &head_; *link; link = &(*link)->next) {
      if ((*link)->factory == factory) {
        Node* gone = *link;
        *link = gone->next;
        delete gone;
        return;
      }
    }
  };
  if (walking_ && lockOwner_ == GetCurrentThreadId()) {
    unlink();
  } else {
    ExclusiveLock hold(lock_);
    unlink();
  }
}

TComObjectFactory* TComClassManager::FindFactory(REFCLSID clsid) {
  SharedLock hold(lock_);
  for (Node* n = head_; n; n = n->next)
    if (IsEqualGUID(n->factory->classId(), clsid)) return n->factory;
  return nullptr;
}

void TComClassManager::ForEachFactoryOf(TComServerObject* server,
                                        const std::function<void(TComObjectFactory*)>& action) {
  ExclusiveLock hold(lock_);
  walking_ = true;
  lockOwner_ = GetCurrentThreadId();
  struct EndWalk {
    TComClassManager* m;
    ~EndWalk() {
      m->walking_ = false;
      m->lockOwner_ = 0;
    }
  } endWalk{this};
  for (Node* n = head_; n;) {
    Node* next = n->next;
    TComObjectFactory* factory = n->factory;
    if (&factory->server() == server) action(factory);
    n = next;
  }
}

}  // namespace vantorelix
