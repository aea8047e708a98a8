#include "server/demo_content.h"

#include <cstdio>

namespace velnox::demo {

namespace {

using S = TimeStyle;

// The share links, codes and passwords are made up; the three forms of a detail text are
// spread over the list so that every one shows up within the first rows.
const std::vector<Item> kItems = {
    {"Python编程从入门到实践 第3版 PDF", "编程", 0.3, S::DashedWithClock,
     "https://pan.velnox.example/s/1Py3Rk9Qx|py3k|velnox2026", 4},
    {"高等数学 同济第七版 上下册 课后答案", "教材", 3.2, S::DashedWithClock,
     "链接：https://pan.velnox.example/s/7GsMath02|提取码：gs07|解压密码：www.velnox.example", 0},
    {"纪录片 河西走廊 全10集 1080P", "纪录片", 11.5, S::DashedWithClock,
     "9f2c6a1e4b7d3e8f0a5c2b6d1e9f7a3c#4831838208#河西走廊.1080P.zip|hexi2026", 1},
    {"考研英语真题解析 2005-2026", "考研", 20.4, S::DashedWithClock,
     "\r\n本资源为网友分享，仅供学习交流。\r\n下载地址：https://pan.velnox.example/s/"
     "KyEng26\r\n提取码：ky26\r\n"
     "链接失效请在评论区留言。\r\n",
     2},
    {"中国古典音乐合集 无损FLAC", "音乐", 30.0, S::DashedWithClock,
     "https://pan.velnox.example/s/GuDian8Flac|flac|yinyue", 3},
    {"Excel函数与公式速查手册", "办公", 45.0, S::SlashedDateOnly,
     "秒传：3b1e9d0c7a5f42e8b6c1d2a3f4e5b6c7#18874368#Excel速查.pdf|excel", 5},
    {"CAD机械制图 视频教程 全套", "设计", 60.0, S::DashedWithClock,
     "链接：https://pan.velnox.example/s/CadJx360|提取码：cad3|解压密码：velnox|备用：无", 0},
    {"唐诗三百首 注释版 EPUB", "文学", 100.0, S::UnitCharacters,
     "电子书格式：EPUB、MOBI、PDF 三种\r\n下载地址：https://pan.velnox.example/s/TangShi300\r\n提取码：ts30",
     4},
    {"日语N2 词汇与语法 音频", "外语", 130.0, S::DashedWithClock,
     "https://pan.velnox.example/s/JpN2Audio|jpn2|nihongo", 1},
    {"Photoshop 2025 中文版 安装包", "软件", 170.0, S::DashedWithClock,
     "5e8d7c6b5a49382716f5e4d3c2b1a090#2147483648#PS2025.zip|ps2025", 2},
    {"Linux命令行大全 中文版", "编程", 220.0, S::PackedDigits,
     "https://pan.velnox.example/s/LinuxCmd2|lnx2|velnox", 3},
    {"素描基础教程 从零开始", "绘画", 300.0, S::DashedWithClock,
     "适合零基础，共48课。\r\n下载地址：https://pan.velnox.example/s/"
     "SuMiao48\r\n提取码：sm48\r\n解压密码：velnox",
     5},
    {"小学数学 思维训练 1-6年级", "教育", 410.0, S::DashedWithClock,
     "链接：https://pan.velnox.example/s/XxSx16|提取码：xs16|解压密码：shuxue", 0},
    {"雅思口语 高分范例 2026", "外语", 520.0, S::SlashedDateOnly,
     "c4d5e6f7a8b9c0d1e2f3a4b5c6d7e8f9#734003200#雅思口语2026.zip|ielts", 4},
    {"经典电影配乐精选 320K", "音乐", 700.0, S::DashedWithClock,
     "https://pan.velnox.example/s/FilmOst320|ost3|dianying", 1},
    {"宫崎骏动画 壁纸合集 4K", "壁纸", 760.0, S::DashedWithClock,
     "共1200张，按作品分文件夹。\r\n下载地址：https://pan.velnox.example/s/Wallpaper4K\r\n提取码：bz4k", 2},
    {"吉他入门自学教程 附曲谱", "音乐", 900.0, S::UnitCharacters,
     "https://pan.velnox.example/s/JiTa101|jt01|guitar", 3},
    {"C++ Primer 中文版 第5版", "编程", 1200.0, S::DashedWithClock,
     "链接：https://pan.velnox.example/s/CppPrimer5|提取码：cpp5|解压密码：velnox", 5},
    {"数据结构与算法 严蔚敏 课件", "教材", 1500.0, S::DashedWithClock,
     "0a1b2c3d4e5f60718293a4b5c6d7e8f9#52428800#数据结构课件.zip|sjjg", 0},
    {"会计从业 初级会计实务 讲义", "职业", 2000.0, S::DashedWithClock,
     "讲义与习题分开打包。\r\n下载地址：https://pan.velnox.example/s/KuaiJi01\r\n提取码：kj01", 4},
    {"中国地理 知识图谱 高清大图", "地理", 2600.0, S::SlashedDateOnly,
     "https://pan.velnox.example/s/DiLiTuPu|dltp|velnox", 1},
    {"西游记 白话版 有声书", "有声书", 3100.0, S::DashedWithClock,
     "d0e1f2a3b4c5d6e7f8091a2b3c4d5e6f#1073741824#西游记有声书.zip|xyj", 2},
    {"Blender 三维建模 入门到精通", "设计", 3700.0, S::DashedWithClock,
     "链接：https://pan.velnox.example/s/Blender3D|提取码：b3d4|解压密码：jianmo", 3},
    {"瑜伽入门 30天 跟练视频", "健身", 4300.0, S::DashedWithClock,
     "每天一节，约20分钟。\r\n下载地址：https://pan.velnox.example/s/YuJia30\r\n提取码：yj30", 5},
    {"PPT 模板 商务汇报 200套", "办公", 5000.0, S::PackedDigits,
     "https://pan.velnox.example/s/PptBiz200|ppt2|moban", 0},
    {"钢琴 车尔尼599 示范音频", "音乐", 5800.0, S::DashedWithClock,
     "7f6e5d4c3b2a19080f1e2d3c4b5a6978#314572800#车尔尼599.zip|cen599", 4},
    {"宋词鉴赏辞典 扫描版", "文学", 6500.0, S::DashedWithClock,
     "链接：https://pan.velnox.example/s/SongCi01|提取码：sc01|解压密码：velnox", 1},
    {"Java 核心技术 卷I 第12版", "编程", 7300.0, S::DashedWithClock,
     "扫描清晰，带书签。\r\n下载地址：https://pan.velnox.example/s/CoreJava12\r\n提取码：cj12", 2},
    {"机器学习 周志华 西瓜书 笔记", "教材", 8000.0, S::UnitCharacters,
     "https://pan.velnox.example/s/XiGuaShu|xgs1|jiqi", 3},
    {"围棋死活题 1000题 初级", "棋类", 9000.0, S::DashedWithClock,
     "9a8b7c6d5e4f30211f2e3d4c5b6a7980#9437184#围棋死活题.pdf|weiqi", -1},
    {"水彩画 技法图解", "绘画", 11000.0, S::DashedWithClock,
     "链接：https://pan.velnox.example/s/ShuiCai|提取码：shc1|解压密码：velnox", 5},
    {"简笔画 儿童启蒙 2000例", "教育", 14000.0, S::SlashedDateOnly,
     "按动物、植物、人物分类。\r\n下载地址：https://pan.velnox.example/s/JianBiHua\r\n提取码：jbh2", 0},
    {"中医基础理论 教材 PDF", "教材", 18000.0, S::DashedWithClock,
     "https://pan.velnox.example/s/ZhongYi01|zy01|velnox", 4},
    {"英语语法新思维 初级教程", "外语", 22000.0, S::DashedWithClock,
     "1c2d3e4f5a6b7c8d9e0f1a2b3c4d5e6f#26214400#语法新思维.pdf|yufa", 1},
};

// Wide, square, portrait, film, tall and photo covers.
const std::vector<CoverShape> kCoverShapes = {
    {1000, 500, PictureFormat::Png}, {640, 640, PictureFormat::Jpeg}, {600, 800, PictureFormat::Png},
    {800, 450, PictureFormat::Jpeg}, {490, 980, PictureFormat::Png},  {1200, 900, PictureFormat::Jpeg},
};

const char* extension(PictureFormat format) { return format == PictureFormat::Png ? "png" : "jpg"; }

constexpr std::string_view kFieldSeparator = "\xE7\xBD\xB8";  // 罸

// The pieces of an account message after its token, at the separator.
std::vector<std::string_view> accountFields(std::string_view payload, std::size_t count) {
  std::vector<std::string_view> fields;
  while (fields.size() + 1 < count) {
    const std::size_t at = payload.find(kFieldSeparator);
    if (at == std::string_view::npos) break;
    fields.push_back(payload.substr(0, at));
    payload.remove_prefix(at + kFieldSeparator.size());
  }
  fields.push_back(payload);
  return fields;
}

std::string hint(std::string_view text) { return "$yhts$" + std::string(text); }

}  // namespace

const std::vector<Item>& catalogue() { return kItems; }
const std::vector<CoverShape>& coverShapes() { return kCoverShapes; }

const Item* findItem(std::string_view name) {
  for (const Item& item : kItems) {
    if (item.name == name) return &item;
  }
  return nullptr;
}

std::string formatTime(std::time_t when, TimeStyle style) {
  std::tm t{};
  localtime_r(&when, &t);
  char text[64];
  switch (style) {
    case TimeStyle::DashedWithClock:
      std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1,
                    t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
      break;
    case TimeStyle::SlashedDateOnly:
      std::snprintf(text, sizeof text, "%04d/%d/%d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
      break;
    case TimeStyle::UnitCharacters:
      std::snprintf(text, sizeof text, "%04d年%d月%d日%d时%d分%d秒", t.tm_year + 1900, t.tm_mon + 1,
                    t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
      break;
    case TimeStyle::PackedDigits:
      std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                    t.tm_hour, t.tm_min, t.tm_sec);
      break;
  }
  return text;
}

std::string adSwitchesMessage() { return "$ov_pz$1|1|1"; }
std::string sidePicturesSwitchMessage() { return "$ov_pz$0|1|0"; }

std::string adListMessage(std::string_view baseUrl) {
  std::string message = "$ov_gg$";
  for (int slot = 1; slot <= 5; ++slot) {
    if (slot > 1) message += "\r\n";
    message +=
        std::string(baseUrl) + adPath(slot) + "|" + std::string(baseUrl) + "/ads/" + std::to_string(slot);
  }
  return message;
}

std::string catalogueMessage(std::time_t now) {
  std::string message = "$ov_ml$";
  bool first = true;
  for (const Item& item : kItems) {
    if (!first) message += "\r\n";
    first = false;
    const auto when = now - static_cast<std::time_t>(item.hoursAgo * 3600.0);
    message += item.name + "#" + formatTime(when, item.timeStyle);
  }
  return message;
}

std::string coverPath(int index) {
  const Item& item = kItems.at(static_cast<std::size_t>(index));
  if (item.coverShape < 0) return "/pictures/withdrawn-" + std::to_string(index) + ".jpg";
  return "/pictures/cover-" + std::to_string(index) + "." +
         extension(kCoverShapes[static_cast<std::size_t>(item.coverShape)].format);
}

PictureFormat adFormat(int slot) { return slot % 2 == 1 ? PictureFormat::Png : PictureFormat::Jpeg; }

std::string adPath(int slot) {
  return "/pictures/ad-" + std::to_string(slot) + "." + extension(adFormat(slot));
}

std::vector<std::string> detailMessages(std::string_view title, std::string_view baseUrl) {
  for (std::size_t i = 0; i < kItems.size(); ++i) {
    if (kItems[i].name != title) continue;
    // The side pictures show only in a detail window that is open when the switch arrives.
    return {"$ov_dz$" + kItems[i].detail, "$ov_tp$" + std::string(baseUrl) + coverPath(static_cast<int>(i)),
            sidePicturesSwitchMessage()};
  }
  return {"$ov_dz$该资源已下架或不存在。\r\n请刷新列表后重试。",
          "$ov_tp$" + std::string(baseUrl) + "/pictures/missing.jpg"};
}

// The shared-document service answers with a JSON record; the client only reads the bracketed
// items that come before its "summary" field.
std::string updateDocument(bool newer, std::string_view baseUrl) {
  std::string items;
  if (newer) {
    items = "【" + std::string(kNewerVersion) +
            "】【新增：详情页支持滚轮快速翻页】【修复：断线重连后登入按钮位置不对】"
            "【优化：目录刷新更快，封面加载更稳】【" +
            std::string(baseUrl) + "/download/" + std::string(kNewerVersion) + "】";
  } else {
    items = "【" + std::string(kOwnVersion) + "】【当前为最新版本】【" + std::string(baseUrl) + "/download/" +
            std::string(kOwnVersion) + "】";
  }
  return R"({"code":0,"data":{"title":"Velnox 版本信息","content":")" + items +
         R"(","summary":"版本号与更新说明","updated":"2026-12-01"}})";
}

std::string noticeDocument() {
  return R"({"code":0,"data":{"title":"详情页公告","content":")"
         "【本站资源均来自网友分享，仅供学习交流】【请勿相信任何私下交易或付费解压】"
         "【链接失效请在评论区留言，我们会尽快补档】"
         R"(","summary":"公告三条"}})";
}

std::string signupPage() {
  return "<!doctype html><html lang=\"zh-CN\"><head><meta "
         "charset=\"utf-8\"><title>获取注册校验码</title></head>"
         "<body style=\"font-family:sans-serif;max-width:36em;margin:3em auto\">"
         "<h1>获取注册校验码</h1><p>感谢关注 Velnox 资源站。本周的注册校验码是：</p>"
         "<p style=\"font-size:2em;font-weight:bold\">" +
         std::string(kSignupCode) +
         "</p><p>回到软件，在“注册校验码”一栏填入它，再填写账号和密码，点击“注册”。</p>"
         "<p>已有演示账号：demo，密码 velnox。</p></body></html>";
}

std::string adPage(int slot) {
  return "<!doctype html><html lang=\"zh-CN\"><head><meta charset=\"utf-8\"><title>广告</title></head>"
         "<body style=\"font-family:sans-serif;margin:3em\"><h1>广告位 " +
         std::to_string(slot) + "</h1><p>这是演示服务器上的广告落地页。</p></body></html>";
}

std::string downloadPage(std::string_view version) {
  return "<!doctype html><html lang=\"zh-CN\"><head><meta charset=\"utf-8\"><title>下载 Velnox</title></head>"
         "<body style=\"font-family:sans-serif;margin:3em\"><h1>Velnox " +
         std::string(version) +
         "</h1><p>演示服务器不提供安装包；正式服务会在这里给出下载。</p></body></html>";
}

AccountBook::AccountBook() { m_passwords.emplace(kDemoAccount, kDemoPassword); }

std::vector<std::string> AccountBook::answer(std::string_view message) {
  if (message.starts_with("%yhdr%")) {
    const auto fields = accountFields(message.substr(6), 2);
    return logIn(fields[0], fields.size() > 1 ? fields[1] : std::string_view());
  }
  if (message.starts_with("%yhjr%")) {
    const auto fields = accountFields(message.substr(6), 3);
    return signUp(fields[0], fields.size() > 1 ? fields[1] : std::string_view(),
                  fields.size() > 2 ? fields[2] : std::string_view());
  }
  return {};
}

std::vector<std::string> AccountBook::logIn(std::string_view account, std::string_view password) {
  if (account.empty() || password.empty()) return {hint("请输入账号和密码")};
  std::lock_guard lock(m_mutex);
  const auto found = m_passwords.find(account);
  if (found == m_passwords.end()) return {hint("账号不存在，请先注册")};
  if (found->second != password) return {hint("密码错误，请重新输入")};
  return {hint("登入成功，欢迎回来"), "$yhdr$欢迎，" + std::string(account)};
}

std::vector<std::string> AccountBook::signUp(std::string_view account, std::string_view password,
                                             std::string_view code) {
  if (account.empty() || password.empty() || code.empty()) return {hint("请填写账号、密码和注册校验码")};
  if (code != kSignupCode) return {hint("注册校验码无效，请点击下方获取")};
  std::lock_guard lock(m_mutex);
  if (!m_passwords.emplace(account, password).second) return {hint("该账号已被注册")};
  return {hint("注册成功，请点击登入")};
}

}  // namespace velnox::demo
