#include "launcher/launcher.h"

#include "engine/engine.h"
#include "execlog/codes.h"
#include "install/install.h"
#include "launcher/job_bracket.h"

std::u16string CommandLineAfterProgramName(std::u16string_view fullCommandLine) {
  std::size_t i = 0;
  bool quoted = false;
  while (i < fullCommandLine.size() && (quoted || fullCommandLine[i] > u' ')) {
    if (fullCommandLine[i] == u'"') quoted = !quoted;
    ++i;
  }
  while (i < fullCommandLine.size() && fullCommandLine[i] != u'\0' && fullCommandLine[i] <= u' ') {
    ++i;
  }
  return std::u16string(fullCommandLine.substr(i));
}

std::int32_t RunLauncher(plat::ModuleHandle instance, std::u16string commandLine) {
  JobRun run;
  run.module = instance;
  run.commandLine = std::move(commandLine);

  GetProgramDir(run.programDir);
  if (run.programDir.empty()) return kResultNotInstalled;

  PrepareJob(run);

  EngineRunStatus status = EngineRunStatus::Called;
  if (run.engineAllowed == 1) {
    const std::uint32_t displayWord = ComputeDisplayWord();
    status = RunEngine(run.programDir, displayWord, run.commandLine, run.result);
    if (status != EngineRunStatus::Called) run.result = kResultNotInstalled;
  }

  CompleteJob(run, status);

  if (run.result >= 1 && ReadCommonFlag(u"ExeRcode")) run.result = 0;
  return run.result;
}
