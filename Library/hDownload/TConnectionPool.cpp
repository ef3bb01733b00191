#include "Library/hDownload/TConnectionPool.h"

namespace lg {

std::string TConnectionPool::Key(const std::string& host, int port) {
  std::string key = host;
  for (char& c : key) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);  // host names ignore case
  return key + ":" + std::to_string(port);
}

TConnectionPool::TLease TConnectionPool::Take(const std::string& host, int port) {
  std::lock_guard<std::mutex> guard(lock_);
  auto it = idle_.find(Key(host, port));
  if (it == idle_.end() || it->second.empty()) return {};
  TLease lease = std::move(it->second.back());
  it->second.pop_back();
  return lease;
}

void TConnectionPool::Give(const std::string& host, int port, std::unique_ptr<TBlockSocket> socket, int requests) {
  if (!socket || !socket->Connected() || requests >= kMaxRequests) return;  // closed by its destructor
  std::unique_ptr<TBlockSocket> surplus;
  std::lock_guard<std::mutex> guard(lock_);
  std::vector<TLease>& list = idle_[Key(host, port)];
  if (list.size() >= kMaxIdlePerHost) {
    // The oldest goes: the server is the likeliest to have closed it.
    surplus = std::move(list.front().socket);
    list.erase(list.begin());
  }
  list.push_back({std::move(socket), requests});
}

size_t TConnectionPool::IdleCount() const {
  std::lock_guard<std::mutex> guard(lock_);
  size_t n = 0;
  for (const auto& entry : idle_) n += entry.second.size();
  return n;
}

}  // namespace lg
