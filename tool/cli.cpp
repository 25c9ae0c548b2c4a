#include "tool/cli.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <optional>
#include <ostream>
#include <regex>

#include "tool/commands.h"
#include "tool/system_text.h"
#include "tool/text.h"
#include "version.h"

namespace norvane::tool {
namespace {

constexpr const char* kVersion = "norvane-drive " NORVANE_VERSION_DOTS;

constexpr const char* kDescription =
    "Shows and changes the settings of Norvane USB Blu-ray/DVD/CD drives, shows the quality of\n"
    "the audio data they read, checks the USB bus power that feeds them, and ejects discs.";

std::string ExitCodes() {
  return std::string(
             "Exit status:\n"
             "  0   done; power-check: the power supply is enough\n"
             "  1   a command failed: the system or the drive refused it\n"
             "  2   the command line is wrong, or a change without --device may mean several drives\n"
             "  3   no supported drive found, --device names none, or status --watch found another drive\n"
             "  4   not confirmed: declined, or no terminal to ask on (see --yes)\n"
             "  5   the drive does not have the feature asked for\n"
             "  6   power-check: the power supply is slightly not enough\n"
             "  7   power-check: the power supply is not enough\n"
             "  8   power-check: no disc in the drive\n"
             "  9   the drive is in use by another program\n"
             "  10  set stopped part-way: the drive took some of its commands (shown, with its settings)\n"
             "  77  ") +
         System().exitNotPermitted + "\n" + System().exitInterrupted +
         "\n\n"
         "Try it without a drive: norvane-drive --emulate status --watch\n" +
         System().seeAlso;
}

// A subcommand's help shows only its own options.
constexpr const char* kGlobalsAfterSubcommand =
    "The global options (--device, --emulate, --json, --color, -v, --timeout) may also follow\n"
    "the subcommand; norvane-drive --help lists them with the exit status.";

const std::vector<std::string> kQuietModes = {"off", "performance", "quiet", "persistent"};
const std::vector<std::string> kReadModes = {"off", "perfect", "master"};
const std::vector<std::string> kOnOff = {"on", "off"};
const std::vector<std::string> kColorChoices = {"auto", "always", "never"};

struct CommandLine {
  GlobalOptions global;
  SetOptions set;
  WatchOptions list;
  StatusOptions status;
  bool yes = false;
  std::function<Exit(Session&)> run;
};

// "off, perfect or master".
std::string Choices(const std::vector<std::string>& names) {
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) {
    text += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
  }
  return text;
}

// One of `names`; whatever else was typed is echoed as safe text.
CLI::Validator OneOf(const std::vector<std::string>& names) {
  return CLI::Validator(
      [&names](std::string& text) {
        if (std::find(names.begin(), names.end(), text) != names.end()) return std::string();
        return "must be " + Choices(names) + ", not '" + Echoed(text) + "'";
      },
      "");
}

// Seconds inside [low, high], written as plain decimal digits (a fraction
// only where `fraction`): a conversion would quietly take 0x10 for 16, an
// exponent, a sign or a space in front, and NaN would slip through a range.
CLI::Validator SecondsBetween(double low, double high, bool fraction) {
  return CLI::Validator(
      [low, high, fraction](std::string& text) {
        static const std::regex whole("[0-9]+"), decimal("[0-9]+(\\.[0-9]+)?");
        if (std::regex_match(text, fraction ? decimal : whole)) {
          const double value = std::strtod(text.c_str(), nullptr);
          if (value >= low && value <= high) return std::string();
        }
        return std::string("must be a ") + (fraction ? "" : "whole ") + "number of seconds from " +
               CLI::detail::to_string(low) + " to " + CLI::detail::to_string(high) + ", not '" + Echoed(text) + "'";
      },
      "");
}

// An empty --device (an unset variable in a script) must not fall back to the first drive.
std::string NotEmpty(std::string& text) { return text.empty() ? "the drive name is empty" : std::string(); }

// An option given more than once, or none: -v alone counts its repeats.
const CLI::Option* RepeatedOption(const CLI::App& app) {
  for (const CLI::Option* option : app.get_options()) {
    const bool counts = option->get_multi_option_policy() == CLI::MultiOptionPolicy::TakeAll;
    if (option->count() > 1 && !counts) return option;
  }
  for (const CLI::App* command : app.get_subcommands({})) {
    if (const CLI::Option* option = RepeatedOption(*command)) return option;
  }
  return nullptr;
}

// The first word typed that the parser took for nothing, and whether it came after "--".
struct Unexpected {
  std::string word;
  bool afterOptionsEnd;
};
std::optional<Unexpected> FirstUnexpected(const CLI::App& app, const std::vector<std::string>& arguments) {
  const std::vector<std::string> left = app.remaining(true);
  const auto isLeft = [&left](const std::string& word) {
    return std::find(left.begin(), left.end(), word) != left.end();
  };
  bool afterOptionsEnd = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i] == "--" && !afterOptionsEnd) {
      afterOptionsEnd = true;
      // Without a subcommand the parser stops at "--" and leaves the rest unread.
      if (isLeft("--") && i + 1 < arguments.size()) return Unexpected{arguments[i + 1], true};
    } else if (isLeft(arguments[i])) {
      return Unexpected{arguments[i], afterOptionsEnd};
    }
  }
  return std::nullopt;
}

// The parser's complaint in the tool's own words, naming what was typed.
std::string Complaint(const CLI::App& app, const CLI::Error& error, const std::vector<std::string>& arguments) {
  if (const CLI::Option* repeated = RepeatedOption(app)) return repeated->get_name() + " is given more than once";
  const std::optional<Unexpected> unexpected = FirstUnexpected(app, arguments);
  if (!unexpected) return error.what();
  const std::string& word = unexpected->word;
  if (unexpected->afterOptionsEnd) return "unexpected argument '" + Echoed(word) + "' after '--' (nothing follows it)";
  if (word.size() > 1 && word.starts_with("-"))
    return "unknown option '" + Echoed(word.substr(0, word.find('='))) + "'";
  if (!app.get_subcommands().empty()) return "unexpected argument '" + Echoed(word) + "'";
  std::string known;
  for (const CLI::App* command : app.get_subcommands({})) known += (known.empty() ? "" : ", ") + command->get_name();
  return "unknown subcommand '" + Echoed(word) + "' (the subcommands: " + known + ")";
}

// Every line of a message made printable: what the user typed reaches the
// terminal only as safe text.
std::string PrintableLines(const std::string& text) {
  std::string lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines += Printable(text.substr(start, end - start)) + '\n';
  }
  return lines + Printable(text.substr(start));
}

// A subcommand and what it runs; every level has its own --help.
CLI::App* Subcommand(CLI::App& app, CommandLine& line, const char* name, const char* description,
                     std::function<Exit(Session&)> run) {
  CLI::App* command = app.add_subcommand(name, description);
  command->callback([&line, run = std::move(run)] { line.run = run; });
  command->footer(kGlobalsAfterSubcommand);
  return command;
}

void AddYes(CLI::App* command, bool& yes) {
  command->add_flag("-y,--yes", yes, "Give the confirmation without asking");
}

void AddWatch(CLI::App* command, WatchOptions& options, const char* description) {
  CLI::Option* watch = command->add_flag("-w,--watch", options.watch, description);
  command
      ->add_option("--interval", options.intervalSeconds,
                   "Seconds between ticks of --watch, which it needs\n(0.05 to 3600; 1 by default)")
      ->option_text("SECONDS")
      ->default_val(1.0)
      ->check(SecondsBetween(0.05, 3600.0, true))
      ->needs(watch);
}

void AddSubcommands(CLI::App& app, CommandLine& line) {
  AddWatch(Subcommand(app, line, "list", "List the supported drives",
                      [&line](Session& s) { return ListDrives(s, line.list); }),
           line.list,
           "Then print a line for each drive that arrives (+), leaves (-), does not\n"
           "answer (!) or answers again (=), until interrupted (Ctrl-C)");
  Subcommand(app, line, "settings", "Show the drive's settings", ShowSettings);

  CLI::App* set = Subcommand(app, line, "set", "Change settings (the drive takes the whole set, the rest as it is)",
                             [&line](Session& s) { return SetSettings(s, line.set); });
  const struct {
    const char* name;
    std::string& value;
    const char* description;
    const char* type;
    const std::vector<std::string>& choices;
  } settings[] = {
      {"--quiet", line.set.quiet, "Quiet-drive feature", "MODE", kQuietModes},
      {"--read-error", line.set.readError, "Read-error handling", "MODE", kReadModes},
      {"--real-time", line.set.realTime, "Real-time read-error handling", "on|off", kOnOff},
      {"--eject-at-power-on", line.set.ejectAtPowerOn, "Eject the disc when the drive is switched on", "on|off",
       kOnOff},
  };
  for (const auto& setting : settings) {
    set->add_option(setting.name, setting.value, std::string(setting.description) + ": " + Choices(setting.choices))
        ->option_text(setting.type)
        ->check(OneOf(setting.choices));
  }
  set->add_flag("--save", line.set.save, "Keep the settings in the drive across power cycles");
  AddYes(set, line.set.yes);
  set->footer(
      "Real-time read-error handling needs read-error handling, and runs on the quiet-drive feature:\n"
      "switching it on while the feature is off asks to switch the feature on in Quiet Mode, and\n"
      "switching the feature off under it asks to switch it off too.\n\n" +
      std::string(kGlobalsAfterSubcommand));

  CLI::App* status = Subcommand(app, line, "status", "Show the quality of the audio data the drive transfers",
                                [&line](Session& s) { return ShowStatus(s, line.status); });
  AddWatch(status, line.status,
           "Redraw once a tick until interrupted (Ctrl-C), then sum up\n"
           "the measurement on standard error; another drive found in\n"
           "its place ends it (exit status 3)");
  status->add_flag("--csv", line.status.csv,
                   "A CSV header, then one line a reading: time, level, word,\n"
                   "errorCount, transferredSectors, timeCode (not with --json)");

  Subcommand(app, line, "clear", "Clear the drive's error counters", ClearCounters);
  Subcommand(app, line, "eject", "Eject the disc", EjectTray);
  AddYes(Subcommand(app, line, "force-eject", "Force the disc out, even when the drive refuses to eject; asks first",
                    [&line](Session& s) { return ForceEjectTray(s, line.yes); }),
         line.yes);
  AddYes(Subcommand(app, line, "factory-reset", "Restore and save the factory settings; asks first",
                    [&line](Session& s) { return RestoreFactorySettings(s, line.yes); }),
         line.yes);
  CLI::App* power =
      Subcommand(app, line, "power-check", "Check whether the USB port feeds the drive enough power (about 26 seconds)",
                 [&line](Session& s) { return CheckBusPower(s, line.yes); });
  power->add_flag("-y,--yes", line.yes, "Use the disc in the drive: no tray movement, no prompt");
  power->footer("The exit status tells the verdict: 0 enough, 6 slightly not enough, 7 not enough, 8 no disc.\n" +
                std::string(System().powerCheckNote) + "\n\n" + kGlobalsAfterSubcommand);
}

void BuildApp(CLI::App& app, CommandLine& line, const std::vector<std::string>& arguments) {
  app.description(kDescription);
  app.set_version_flag("-V,--version", kVersion);
  app.failure_message([&arguments](const CLI::App* parsed, const CLI::Error& error) {
    return "norvane-drive: " + PrintableLines(Complaint(*parsed, error, arguments)) +
           "\nTry 'norvane-drive --help' for more information.\n";
  });
  app.require_subcommand(1);
  // A flag given twice parses; the rule that an option is given once refuses it all the same.
  // CSV and JSON are two forms of the same results: checked here, where the
  // global --json and the subcommand's --csv are both known, and so that the
  // help needs no "Excludes" beside the option.
  app.parse_complete_callback([&app, &line] {
    if (const CLI::Option* repeated = RepeatedOption(app)) throw CLI::ArgumentMismatch(repeated->get_name());
    if (line.status.csv && line.global.json) throw CLI::ExcludesError("--csv", "--json");
  });
  app.fallthrough();  // the global options may also follow the subcommand
  app.get_formatter()->column_width(34);
  app.add_option("-d,--device", line.global.device, System().deviceOption)
      ->option_text("DEVICE")
      ->check(CLI::Validator(NotEmpty, ""));
  app.add_flag("--emulate", line.global.emulate, "Use the emulated drives of the demo instead of real ones");
  app.add_flag("--json", line.global.json,
               "Machine-readable output; a failure is an object with an\n\"error\" field, a watch one object a line");
  app.add_option("--color", line.global.color, "Colour the output: " + Choices(kColorChoices) + "; auto by default")
      ->option_text("WHEN")
      ->default_val("auto")
      ->check(OneOf(kColorChoices));
  app.add_flag("-v,--verbose,--trace", line.global.verbosity,
               "Show every command sent to the drive and its answer\n(on standard error); twice: with the data bytes");
  app.add_option("--timeout", line.global.timeoutSeconds,
                 "Seconds a command may take before it is given up\n(whole seconds, 1 to 3600; 360 by default)")
      ->option_text("SECONDS")
      ->check(SecondsBetween(1, 3600, false));
  AddSubcommands(app, line);
  app.footer(ExitCodes());  // after the subcommands, which would take it over
}

int Run(CommandLine& line, Console& console, Platform& platform) {
  Exit code = Exit::Ok;
  {
    Session session(console, platform, line.global);
    try {
      code = line.run(session);
    } catch (const Stop& stop) {
      if (!stop.message.empty()) console.err << "norvane-drive: " << stop.message << '\n';
      // A watch's stream stays one object a line to its end.
      if (line.global.json) session.PrintJsonFailure(stop, line.list.watch || line.status.watch);
      code = stop.code;
    }
  }
  // Results that did not reach their file are no results, whatever the drive did.
  if (!WrittenOut(console) && code == Exit::Ok) {
    console.err << "norvane-drive: " << UnwrittenText() << '\n';
    code = Exit::CommandFailed;
  }
  return static_cast<int>(code);
}

}  // namespace

int RunNorvaneDrive(const std::vector<std::string>& arguments, Console& console, Platform& platform) {
  CLI::App app{"", "norvane-drive"};
  CommandLine line;
  BuildApp(app, line, arguments);
  try {
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());  // CLI11 takes them last first
    app.parse(reversed);
  } catch (const CLI::ParseError& error) {
    const int code = app.exit(error, console.out, console.err);
    // A help or a version that did not reach its file was not shown.
    if (!WrittenOut(console)) {
      console.err << "norvane-drive: " << UnwrittenText() << '\n';
      return static_cast<int>(Exit::CommandFailed);
    }
    return code == 0 ? 0 : static_cast<int>(Exit::Usage);
  }
  return Run(line, console, platform);
}

}  // namespace norvane::tool
