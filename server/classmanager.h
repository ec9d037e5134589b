// The process-wide registry of class factories: a singly linked list, newest first, under a
// many-readers/one-writer lock.
#pragma once

#include <windows.h>

#include <functional>

namespace vantorelix {

class TComObjectFactory;
class TComServerObject;

class TComClassManager {
 public:
  TComClassManager() { InitializeSRWLock(&lock_); }
  ~TComClassManager();
  TComClassManager(const TComClassManager&) = delete;
  TComClassManager& operator=(const TComClassManager&) = delete;

  void AddFactory(TComObjectFactory* factory);
  void RemoveFactory(TComObjectFactory* factory);
  TComObjectFactory* FindFactory(REFCLSID clsid);
  // Holds the write lock for the whole walk; the next link is read before the action runs,
  // so an action may free the current factory.
  void ForEachFactoryOf(TComServerObject* server, const std::function<void(TComObjectFactory*)>& action);

 private:
  struct Node {
    TComObjectFactory* factory;
    Node* next;
  };
  SRWLOCK lock_;
  Node* head_ = nullptr;
  // A factory freed by a walk's action removes itself while the walk holds the write lock.
  bool walking_ = false;
  DWORD lockOwner_ = 0;
};

// Created on first use; destroyed at unload, after the server object.
TComClassManager& comClassManager();
void destroyComClassManager();

}  // namespace vantorelix
