// SPDX-License-Identifier: GPL-3.0-or-later
// A list of subscribers to one kind of event. Each subscriber holds a Subscription; dropping
// it ends the subscription. Either side may go first: a subscription that outlives its list
// does nothing when it ends, and a list never calls a subscriber whose subscription has ended.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace quarvel::port {

// Ends its subscription when destroyed or reset. Movable, not copyable.
class Subscription {
 public:
  Subscription() = default;
  explicit Subscription(std::function<void()> cancel) : cancel_(std::move(cancel)) {}
  Subscription(Subscription&& other) noexcept : cancel_(std::exchange(other.cancel_, nullptr)) {}
  Subscription& operator=(Subscription&& other) noexcept {
    if (this != &other) {
      Reset();
      cancel_ = std::exchange(other.cancel_, nullptr);
    }
    return *this;
  }
  Subscription(const Subscription&) = delete;
  Subscription& operator=(const Subscription&) = delete;
  ~Subscription() { Reset(); }

  void Reset() {
    if (cancel_) std::exchange(cancel_, nullptr)();
  }

 private:
  std::function<void()> cancel_;
};

template <class... Args>
class Observers {
 public:
  using Callback = std::function<void(Args...)>;

  // Calls the callback on every Notify until the returned subscription ends.
  [[nodiscard]] Subscription Subscribe(Callback callback) {
    const std::uint64_t id = list_->next++;
    list_->entries.push_back({id, std::move(callback)});
    return Subscription([list = std::weak_ptr<List>(list_), id] {
      if (const auto alive = list.lock())
        std::erase_if(alive->entries, [id](const Entry& e) { return e.id == id; });
    });
  }

  // Calls every subscriber, oldest first. A subscriber may subscribe or end subscriptions
  // meanwhile: those added now are called from the next Notify on, those ended are not
  // called any more.
  void Notify(Args... args) const {
    if (list_->entries.empty()) return;
    const std::shared_ptr<List> keep = list_;
    const std::uint64_t end = keep->next;
    // Entries stay in subscription order; each next one is looked up afresh after a call.
    for (std::uint64_t id = 0;;) {
      const auto at = std::find_if(keep->entries.begin(), keep->entries.end(),
                                   [id](const Entry& e) { return e.id >= id; });
      if (at == keep->entries.end() || at->id >= end) break;
      id = at->id + 1;
      const Callback callback = at->callback;  // the subscriber may end its subscription
      callback(args...);
    }
  }

  bool Empty() const { return list_->entries.empty(); }

 private:
  struct Entry {
    std::uint64_t id;
    Callback callback;
  };
  struct List {
    std::vector<Entry> entries;
    std::uint64_t next = 0;
  };
  std::shared_ptr<List> list_ = std::make_shared<List>();
};

}  // namespace quarvel::port
