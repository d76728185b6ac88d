#include "input_fixture.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "core/log.h"

namespace {

ScriptedHost* g_host = nullptr;

int Messages() {
  g_host->messageCalls++;
  if (g_host->duringMessages) g_host->duringMessages();
  return g_host->messagesResult;
}
void Wait() { g_host->waitCalls++; }
void Fatal(const char* text) { g_host->fatalTexts.push_back(text); }
int Active() { return g_host->active; }
int Closing() { return g_host->closing; }
int OsCode() { return g_host->osCode; }
void Bring() { g_host->bringCalls++; }

}  // namespace

void InputTest::SetUp() {
  g_host = &host;
  g_inputHost = InputHostServices{Messages, Wait, Fatal, Active, Closing, OsCode, Bring};
  SetInputBackend(&devices);
  std::memset(&g_inputDevices, 0, sizeof(g_inputDevices));
  logPath = (dir.path() / "Log.txt").string();
  LogClose();
  LogOpen(logPath.c_str());
}

void InputTest::TearDown() {
  host.duringMessages = nullptr;
  EndInputSystem();
  EXPECT_EQ(devices.liveObjects, 0) << "devices, effects or events left behind";
  std::memset(&g_inputDevices, 0, sizeof(g_inputDevices));
  SetInputBackend(nullptr);
  ResetInputHostServices();
  LogClose();
  g_host = nullptr;
}

std::vector<std::string> InputTest::LogLines() {
  std::ifstream in(logPath, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  std::vector<std::string> lines;
  std::string all = text.str();
  size_t start = 0;
  while (start < all.size()) {
    size_t end = all.find("\r\n", start);
    if (end == std::string::npos) end = all.size();
    std::string line = all.substr(start, end - start);
    size_t colon = line.find(':');
    if (colon != std::string::npos) line = line.substr(colon + 1);
    lines.push_back(line);
    start = end + 2;
  }
  return lines;
}

bool InputTest::LogHas(const std::string& line) {
  for (const std::string& l : LogLines())
    if (l.find(line) != std::string::npos) return true;
  return false;
}

void NamePad(ScriptedDeviceModel& pad, const char* instance, const char* product) {
  std::snprintf(pad.instanceName, sizeof(pad.instanceName), "%s", instance);
  std::snprintf(pad.productName, sizeof(pad.productName), "%s", product);
}
