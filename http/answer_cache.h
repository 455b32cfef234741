// A bounded cache of answers by key, safe for concurrent use: the answers
// least recently used go first once their bytes pass the bound.
#ifndef FVSCOPE_HTTP_ANSWER_CACHE_H_
#define FVSCOPE_HTTP_ANSWER_CACHE_H_

#include <cstddef>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>

namespace fvscope {

// The cache: its bound, its bytes, its entries by use (most recent first).
struct AnswerCache {
  using Entry = std::pair<std::string, std::shared_ptr<const std::string>>;
  size_t max_bytes = size_t{64} << 20;
  size_t bytes = 0;
  std::list<Entry> entries;
  std::unordered_map<std::string, std::list<Entry>::iterator> index;
  std::mutex mutex;
};

// The answer kept under key, marked as used; null when there is none.
std::shared_ptr<const std::string> FindAnswer(AnswerCache* cache, const std::string& key);

// Keeps answer under key (an answer larger than the bound is not kept) and
// drops the least recently used answers until the bound holds.
void KeepAnswer(AnswerCache* cache, const std::string& key,
                std::shared_ptr<const std::string> answer);

}  // namespace fvscope

#endif  // FVSCOPE_HTTP_ANSWER_CACHE_H_
