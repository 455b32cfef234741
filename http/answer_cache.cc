#include "http/answer_cache.h"

namespace fvscope {

namespace {

size_t EntryBytes(const AnswerCache::Entry& entry) {
  return entry.first.size() + entry.second->size();
}

}  // namespace

std::shared_ptr<const std::string> FindAnswer(AnswerCache* cache, const std::string& key) {
  std::lock_guard<std::mutex> lock(cache->mutex);
  const auto found = cache->index.find(key);
  if (found == cache->index.end()) return nullptr;
  cache->entries.splice(cache->entries.begin(), cache->entries, found->second);
  return found->second->second;
}

void KeepAnswer(AnswerCache* cache, const std::string& key,
                std::shared_ptr<const std::string> answer) {
  if (answer == nullptr || key.size() + answer->size() > cache->max_bytes) return;
  std::lock_guard<std::mutex> lock(cache->mutex);
  if (cache->index.count(key) != 0) return;
  cache->entries.emplace_front(key, std::move(answer));
  cache->index[key] = cache->entries.begin();
  cache->bytes += EntryBytes(cache->entries.front());
  while (cache->bytes > cache->max_bytes) {
    const AnswerCache::Entry& last = cache->entries.back();
    cache->bytes -= EntryBytes(last);
    cache->index.erase(last.first);
    cache->entries.pop_back();
  }
}

}  // namespace fvscope
