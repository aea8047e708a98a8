// The account window with the whole application on loopback: what log-in and sign-up put on
// the wire, the server's hints and its log-in answer, the sign-up page, and the window being
// modal while it is open.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>
#include <QSignalSpy>
#include <QTimer>

#include "app/window_ops.h"
#include "net/protocol.h"
#include "tests/support/app_harness.h"
#include "util/gbk_literal.h"

namespace velnox::test {
namespace {

using namespace std::chrono_literals;

// The application started against the test server, the hello already received.
class Account : public ::testing::Test {
 protected:
  void SetUp() override {
    h.start();
    ASSERT_TRUE(h.server().waitForMessages(1, 5s));
  }
  void TearDown() override { setOpenAddressHook({}); }

  // The payloads that came after the hello, as the server received them (UTF-8).
  std::vector<std::string> sentAfterHello() {
    std::vector<std::string> payloads;
    const auto messages = h.server().messages();
    for (size_t i = 1; i < messages.size(); ++i) payloads.push_back(messages[i].payload);
    return payloads;
  }

  AppHarness h;
};

TEST_F(Account, ButtonsSendTheFieldsAsTheyStand) {
  struct Case {
    const char* what;
    const char* account;  // UTF-8
    const char* password;
    const char* code;
    bool signup;
    const char* wire;  // UTF-8, as it must arrive
  };
  const Case cases[] = {
      {"log-in", "someone", "secret", "", false, "%yhdr%someone罸secret"},
      {"log-in with an empty password", "someone", "", "", false, "%yhdr%someone罸"},
      {"log-in with the separator inside a field", "a罸b", " 密码 ", "", false, "%yhdr%a罸b罸 密码 "},
      {"sign-up with every field empty", "", "", "", true, "%yhjr%罸罸"},
      {"sign-up", "用户", "pw", "X1-9", true, "%yhjr%用户罸pw罸X1-9"},
  };
  AccountWindow* account = h.app().showAccountWindowModal();
  std::vector<std::string> expected;
  for (const Case& c : cases) {
    account->accountEdit->writeText(gbk(c.account));
    account->passwordEdit->writeText(gbk(c.password));
    account->signupCodeEdit->writeText(gbk(c.code));
    QTest::mouseClick(c.signup ? account->signupButton : account->accountLoginButton, Qt::LeftButton);
    expected.push_back(c.wire);
  }
  // Every press sends again; the window stays as it was.
  QTest::mouseClick(account->signupButton, Qt::LeftButton);
  expected.push_back(cases[4].wire);

  ASSERT_TRUE(h.server().waitForMessages(1 + expected.size(), 5s));
  EXPECT_EQ(sentAfterHello(), expected);
  EXPECT_EQ(h.app().accountWindow(), account);
  EXPECT_EQ(account->accountEdit->readText(), gbk("用户"));
  EXPECT_EQ(account->hintEdit->readText(), gbk("获取注册校验码"));
  account->close();
}

TEST_F(Account, HintsReplaceTheHintLine) {
  AccountWindow* account = h.app().showAccountWindowModal();
  h.sendToClient(gbk("$yhts$账号或密码错误"));
  ASSERT_TRUE(h.waitUntil([&] { return account->hintEdit->readText() == gbk("账号或密码错误"); }));
  h.sendToClient(gbk("$yhts$校验码已过期"));
  ASSERT_TRUE(h.waitUntil([&] { return account->hintEdit->readText() == gbk("校验码已过期"); }));
  EXPECT_EQ(h.app().accountWindow(), account);
  EXPECT_TRUE(h.main().loginButton->isEnabled());
  account->close();
}

TEST_F(Account, LoginAcceptedTurnsTheButtonIntoALabelAndClosesTheWindow) {
  for (const char* payload : {"欢迎 someone", ""}) {
    SCOPED_TRACE(payload);
    QPointer<AccountWindow> account = h.app().showAccountWindowModal();
    h.sendToClient(gbk("$yhdr$") + gbk(payload));
    ASSERT_TRUE(h.waitUntil([&] { return h.app().accountWindow() == nullptr; }));
    Button* button = h.main().loginButton;
    EXPECT_EQ(button->x(), 550);
    EXPECT_EQ(button->width(), 100);
    EXPECT_EQ(button->readCaption(), gbk(payload));
    EXPECT_FALSE(button->isEnabled());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(account.isNull() || !account->isVisible());
  }
}

TEST_F(Account, ServerAnswersWithNoAccountWindowOpen) {
  ASSERT_EQ(h.app().accountWindow(), nullptr);
  h.sendToClient(gbk("$yhts$没有窗口"));
  h.sendToClient(gbk("$yhdr$ok"));
  // The hint has nowhere to go; the button still changes.
  ASSERT_TRUE(h.waitUntil([&] { return h.main().loginButton->readCaption() == "ok"; }));
  EXPECT_EQ(h.main().loginButton->x(), 550);
  EXPECT_FALSE(h.main().loginButton->isEnabled());
  EXPECT_EQ(h.app().accountWindow(), nullptr);
}

TEST_F(Account, HintArrivingWhileTheClosedWindowIsBeingDestroyed) {
  AccountWindow* account = h.app().showAccountWindowModal();
  account->destroyWindow();
  // Both arrive before the queued destruction completes, and after.
  h.app().runMessageEffects(tokenChain(gbk("$yhts$迟到")));
  QCoreApplication::processEvents();
  h.app().runMessageEffects(tokenChain(gbk("$yhts$更迟")));
  h.app().runMessageEffects(tokenChain(gbk("$yhdr$ok")));
  EXPECT_EQ(h.app().accountWindow(), nullptr);
  EXPECT_EQ(h.main().loginButton->readCaption(), "ok");
}

TEST_F(Account, CodeLinkOpensTheSignupPage) {
  std::vector<Text> opened;
  setOpenAddressHook([&](const Text& address) { opened.push_back(address); });
  AccountWindow* account = h.app().showAccountWindowModal();
  QTest::mouseClick(account->codeLinkEdit, Qt::LeftButton);
  EXPECT_EQ(opened, std::vector<Text>{h.config().signupPageAddress});
  account->close();
}

// The login button opens a fresh modal window; the main window takes no input until the
// server accepts the log-in, which closes the window and ends the modal wait.
TEST_F(Account, LoginButtonOpensAModalWindowUntilTheLogInIsAccepted) {
  MainWindow& main = h.main();
  main.catalogueList->replaceRows({{"1", "a", "b"}});
  QSignalSpy doubleClicks(main.catalogueList, &ListView::rowDoubleClicked);
  const QPoint row = main.catalogueList->visualRect(main.catalogueList->model()->index(0, 1)).center();
  main.loginButton->show();

  bool modal = false;
  bool fresh = false;
  QTimer::singleShot(0, [&] {
    AccountWindow* account = h.app().accountWindow();
    modal = account && QApplication::activeModalWidget() == account;
    fresh = account && account->accountEdit->readText().empty();
    QTest::mouseDClick(main.catalogueList->viewport(), Qt::LeftButton, {}, row);
    if (!account) return;
    account->accountEdit->writeText("someone");
    QTest::mouseClick(account->accountLoginButton, Qt::LeftButton);
    h.sendToClient("$yhdr$someone");
  });
  QTest::mouseClick(main.loginButton, Qt::LeftButton);  // returns when the window has closed

  EXPECT_TRUE(modal);
  EXPECT_TRUE(fresh);
  EXPECT_EQ(doubleClicks.count(), 0);
  EXPECT_EQ(h.app().accountWindow(), nullptr);
  EXPECT_EQ(main.loginButton->readCaption(), "someone");
  ASSERT_TRUE(h.server().waitForMessages(2, 5s));
  EXPECT_EQ(sentAfterHello(), std::vector<std::string>{"%yhdr%someone罸"});
  QTest::mouseDClick(main.catalogueList->viewport(), Qt::LeftButton, {}, row);
  EXPECT_EQ(doubleClicks.count(), 1);
}

}  // namespace
}  // namespace velnox::test
