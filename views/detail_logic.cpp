#include "views/detail_logic.h"

#include <algorithm>
#include <cmath>

#include "util/gbk_literal.h"

namespace velnox {

std::optional<BodyText> bodyTextFor(const Text& t) {
  if (findBytes(t, "|") == -1) {
    const int32_t n = static_cast<int32_t>(splitNonEmpty(t, "\r\n").size());
    if (n == 0) return std::nullopt;
    return BodyText{t, static_cast<int>(std::trunc(n * 22.5))};
  }
  static const Text kQuickShare = gbk("秒传"), kLink = gbk("链接"), kQuickShareLabel = gbk("秒传："),
                    kLinkLabel = gbk("链接："), kCodeLabel = gbk("\r\n提取码："),
                    kPasswordLabel = gbk("\r\n解压密码：");
  const TextList f = splitNonEmpty(t, "|");
  if (f.size() == 2) {
    if (findBytes(f[0], kQuickShare) != -1) return BodyText{concat({f[0], "\r\n", f[1]}), std::nullopt};
    return BodyText{concat({kQuickShareLabel, f[0], kPasswordLabel, f[1]}), std::nullopt};
  }
  // A "|" with fewer than two fields has no code or password to show: the missing fields
  // are empty rather than read past the end.
  const Text f1 = f.size() > 0 ? f[0] : Text(), f2 = f.size() > 1 ? f[1] : Text(),
             f3 = f.size() > 2 ? f[2] : Text();
  if (findBytes(f1, kLink) != -1) return BodyText{concat({f1, "\r\n", f2, "\r\n", f3}), std::nullopt};
  return BodyText{concat({kLinkLabel, f1, kCodeLabel, f2, kPasswordLabel, f3}), std::nullopt};
}

int coverHeightFor(int w, int h, int currentHeight) {
  if (w <= 0 || h <= 0) return currentHeight;
  // A very narrow, very tall picture would give a height beyond what a widget can take (and
  // beyond int); the largest widget size is the most the page can use anyway.
  constexpr double kMaxHeight = 16777215.0;
  return static_cast<int>(std::min(std::trunc(490.0 / (static_cast<double>(w) / h)), kMaxHeight));
}

int panelHeightFor(const PageHeights& p) { return std::max(p.cover + p.notice + p.body + 16, 714); }

int scrollMaximumFor(int panelHeight, int canvasHeight) { return std::max(panelHeight - canvasHeight, 0); }

WheelStep wheelStep(int position, int maximum, int distance) {
  // The scroll bar keeps its position inside 0..maximum.
  const int p = std::clamp(position - distance * 50, 0, std::max(maximum, 0));
  const int m = std::max(maximum, 0);
  if (m - p >= 50) return {p, -p, p + 11};
  return {m, -m, m + 11};
}

}  // namespace velnox
