// The save options dialog driven without a window, with a connection test
// that answers as it is told.

#include <gtest/gtest.h>

#include "session/save_options.h"
#include "session/texts.h"

namespace tavrin {
namespace {

class ScriptedUi : public SaveOptionsUi {
 public:
  void showFields(const SaveDialogFields& f) override { shown = f; }
  void message(const std::string& text) override { messages.push_back(text); }
  std::optional<std::string> chooseFolder(const std::string& title) override {
    titles.push_back(title);
    return folderAnswer;
  }
  void close(bool accepted) override { closed = accepted ? 1 : 0; }

  SaveDialogFields shown;
  std::vector<std::string> messages, titles;
  std::optional<std::string> folderAnswer;
  int closed = -1;  // -1 open, 0 cancelled, 1 OK
};

struct Dialog {
  ScriptedUi ui;
  Status answer = Ok{};
  std::vector<ServerAddress> tested;
  SaveOptionsController controller{ui, [this](const ServerAddress& a) {
                                      tested.push_back(a);
                                      return answer;
                                    }};
  Dialog() { controller.show(); }
};

TEST(SaveOptions, StartsWithTheLocalServerUntested) {
  Dialog d;
  EXPECT_TRUE(d.ui.shown.serverMode);
  EXPECT_EQ(d.ui.shown.server.server, "localhost");
  EXPECT_EQ(d.ui.shown.server.port, "3306");
  EXPECT_EQ(d.ui.shown.server.user, "root");
  EXPECT_EQ(d.ui.shown.server.password, "");
  EXPECT_FALSE(d.controller.settings().exportForm());
}

TEST(SaveOptions, OkTestsFirstThenClosesOnTheSecondOk) {
  Dialog d;  // an empty password is the server's to refuse, not the dialog's
  d.controller.ok();
  ASSERT_EQ(d.tested.size(), 1u);
  EXPECT_EQ(d.ui.messages, std::vector<std::string>{texts::kConnectionSuccessful});
  EXPECT_EQ(d.ui.closed, -1);
  EXPECT_TRUE(d.controller.settings().saveInDatabase);
  d.controller.ok();
  EXPECT_EQ(d.ui.closed, 1);
  EXPECT_EQ(d.tested.size(), 1u);
  EXPECT_EQ(d.controller.settings().server.user, "root");
  EXPECT_TRUE(d.controller.settings().exportForm());
}

TEST(SaveOptions, AFailedTestOrAnEditTakesBackAnEarlierSuccess) {
  Dialog d;
  EXPECT_TRUE(d.controller.testConnection());
  d.answer = ioFailure("Access denied for user 'root'@'localhost' (using password: YES)");
  EXPECT_FALSE(d.controller.testConnection());
  d.controller.ok();  // tests again, and fails again
  EXPECT_EQ(d.ui.messages.back(), texts::kTestConnectionUnsuccessful);
  EXPECT_EQ(d.ui.messages[d.ui.messages.size() - 2], "Access denied for user 'root'@'localhost' (using password: YES)");
  EXPECT_EQ(d.ui.closed, -1);
  EXPECT_FALSE(d.controller.settings().saveInDatabase);

  d.answer = Ok{};
  EXPECT_TRUE(d.controller.testConnection());
  ServerAddress other = d.controller.fields().server;
  other.server = "db1";
  d.controller.editServer(other);
  d.controller.ok();  // the edited address is tested before it is recorded
  EXPECT_EQ(d.tested.back().server, "db1");
  EXPECT_EQ(d.ui.closed, -1);
}

TEST(SaveOptions, FieldsTheTestNeeds) {
  const std::pair<ServerAddress, const char*> cases[] = {
      {{"", "3306", "", "root", ""}, texts::kEnterServerName},
      {{"localhost", "3306", "", "", ""}, texts::kEnterUserName},
      {{"localhost", "", "", "root", ""}, texts::kEnterPortNumber},
      {{"localhost", "33x6", "", "root", ""}, texts::kEnterPortNumber},
      {{"localhost", "70000", "", "root", ""}, texts::kEnterPortNumber},
  };
  for (const auto& [address, message] : cases) {
    Dialog d;
    d.controller.editServer(address);
    EXPECT_FALSE(d.controller.testConnection());
    EXPECT_EQ(d.ui.messages, std::vector<std::string>{message});
    EXPECT_TRUE(d.tested.empty());
  }
}

TEST(SaveOptions, ScriptMode) {
  Dialog d;
  d.controller.chooseScriptMode();
  EXPECT_FALSE(d.ui.shown.serverMode);
  d.controller.ok();
  EXPECT_EQ(d.ui.messages, std::vector<std::string>{texts::kSelectDestinationFolder});
  EXPECT_EQ(d.ui.closed, -1);
  d.ui.folderAnswer = "/srv/out";
  d.controller.browseFolder();
  EXPECT_EQ(d.ui.titles, std::vector<std::string>{texts::kChooseFolder});
  EXPECT_EQ(d.ui.shown.folder, "/srv/out");
  d.ui.folderAnswer.reset();
  d.controller.browseFolder();  // a cancelled choice empties the folder
  EXPECT_EQ(d.ui.shown.folder, "");
  d.ui.folderAnswer = "/srv/out";
  d.controller.browseFolder();
  d.controller.ok();
  EXPECT_EQ(d.ui.closed, 1);
  EXPECT_TRUE(d.controller.settings().saveAsScript);
  EXPECT_FALSE(d.controller.settings().saveInDatabase);
  EXPECT_EQ(d.controller.settings().folder, "/srv/out");
}

}  // namespace
}  // namespace tavrin
