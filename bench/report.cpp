#include "bench/report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

const double None = std::nan("");

double Median(std::vector<double> values)
{
	return Summarize(std::move(values)).median;
}

struct Spread {
	double low;
	double high;
};

// The ratio of server to bare responder round by round, its middle half:
// how far the comparison itself moves with the machine's load.
template <typename Pick>
Spread RoundRatios(const std::vector<Summary> &server, const std::vector<Summary> &bare, Pick pick)
{
	std::vector<double> ratios;
	for (std::size_t i = 0; i < server.size() && i < bare.size(); i++)
		ratios.push_back(pick(server[i]) / pick(bare[i]));
	if (ratios.empty())
		return {None, None};
	std::sort(ratios.begin(), ratios.end());
	const double last = static_cast<double>(ratios.size() - 1);
	return {ratios[static_cast<std::size_t>(std::lround(0.25 * last))],
	        ratios[static_cast<std::size_t>(std::lround(0.75 * last))]};
}

Spread RoundRatios(const std::vector<double> &server, const std::vector<double> &bare)
{
	std::vector<Summary> s;
	std::vector<Summary> b;
	for (double v : server)
		s.push_back({v, v, v, 1});
	for (double v : bare)
		b.push_back({v, v, v, 1});
	return RoundRatios(s, b, [](const Summary &x) { return x.median; });
}

struct Budget {
	const char *id;
	const char *name;
	double value;
	const char *relation; // "<=", "<" or ">="
	double limit;
};

// The budgets in the order Derive lists them.
enum BudgetIndex {
	SwitchMedianBudget,
	SwitchP99Budget,
	StatusMedianBudget,
	StatusP99Budget,
	SingleBudget,
	WindowBudget,
	IdleBudget,
	RssBudget,
	HwmBudget,
	StartBudget,
	ReplaceBudget,
};

int Met(const Budget &budget)
{
	if (std::isnan(budget.value))
		return 0;
	if (budget.relation[0] == '>')
		return budget.value >= budget.limit;
	if (budget.relation[1] == '=')
		return budget.value <= budget.limit;
	return budget.value < budget.limit;
}

// Everything a row or a JSON member needs, worked out once.
struct Derived {
	Summary serverSwitch, bareSwitch, serverStatus, bareStatus;
	Spread switchMedian, switchP99, statusMedian, statusP99;
	double serverSingle, bareSingle, serverWindow, bareWindow;
	Spread single, window;
	double serverCpu, bareCpu;
	Spread cpu;
	Summary serverStart, bareStart, replace;
	std::vector<Budget> budgets;
};

Derived Derive(const Results &r)
{
	Derived d;
	d.serverSwitch = Summarize(r.server.switchMicros);
	d.bareSwitch = Summarize(r.bare.switchMicros);
	d.serverStatus = Summarize(r.server.statusMicros);
	d.bareStatus = Summarize(r.bare.statusMicros);
	const auto median = [](const Summary &x) { return x.median; };
	const auto p99 = [](const Summary &x) { return x.p99; };
	d.switchMedian = RoundRatios(r.server.switchRounds, r.bare.switchRounds, median);
	d.switchP99 = RoundRatios(r.server.switchRounds, r.bare.switchRounds, p99);
	d.statusMedian = RoundRatios(r.server.statusRounds, r.bare.statusRounds, median);
	d.statusP99 = RoundRatios(r.server.statusRounds, r.bare.statusRounds, p99);
	d.serverSingle = Median(r.server.singleRounds);
	d.bareSingle = Median(r.bare.singleRounds);
	d.serverWindow = Median(r.server.windowRounds);
	d.bareWindow = Median(r.bare.windowRounds);
	d.single = RoundRatios(r.server.singleRounds, r.bare.singleRounds);
	d.window = RoundRatios(r.server.windowRounds, r.bare.windowRounds);
	d.serverCpu = Median(r.server.cpuRounds);
	d.bareCpu = Median(r.bare.cpuRounds);
	d.cpu = RoundRatios(r.server.cpuRounds, r.bare.cpuRounds);
	d.serverStart = Summarize(r.server.startMillis);
	d.bareStart = Summarize(r.bare.startMillis);
	d.replace = Summarize(r.replaceMillis);
	d.budgets = {
		{"red_on_off_median_ratio", "RED ON/OFF latency median, ratio", d.serverSwitch.median / d.bareSwitch.median, "<=", 1.15},
		{"red_on_off_p99_ratio", "RED ON/OFF latency p99, ratio", d.serverSwitch.p99 / d.bareSwitch.p99, "<=", 1.5},
		{"status_median_ratio", "status latency median, ratio", d.serverStatus.median / d.bareStatus.median, "<=", 1.15},
		{"status_p99_ratio", "status latency p99, ratio", d.serverStatus.p99 / d.bareStatus.p99, "<=", 1.5},
		{"throughput_single_ratio", "throughput 1 in flight, ratio", d.serverSingle / d.bareSingle, ">=", 0.85},
		{"throughput_window_ratio", "throughput window, ratio", d.serverWindow / d.bareWindow, ">=", 0.85},
		{"idle_cpu_percent", "idle CPU, % of a core", r.idleCpuPercent, "<", 0.1},
		{"vm_rss_kib", "VmRSS, KiB", r.rssKibibytes, "<", 4096},
		{"vm_hwm_kib", "VmHWM, KiB", r.hwmKibibytes, "<", 4096},
		{"start_max_ms", "exec to first status reply, max ms", d.serverStart.max, "<", 20},
		{"replace_max_ms", "replacing server answers, max ms", d.replace.max, "<", 300},
	};
	return d;
}

void Number(char *text, std::size_t size, double value, int decimals)
{
	if (std::isnan(value))
		std::snprintf(text, size, "-");
	else
		std::snprintf(text, size, "%.*f", decimals, value);
}

// One line of the table; NaN shows as "-".
void Row(const char *label, double server, double bare, int decimals, Spread rounds,
         const Budget *budget, int smoke)
{
	char s[32], b[32], ratio[32], spread[48], limit[32] = "";
	Number(s, sizeof s, server, decimals);
	Number(b, sizeof b, bare, decimals);
	Number(ratio, sizeof ratio, std::isnan(bare) ? None : server / bare, 2);
	if (std::isnan(rounds.low))
		std::snprintf(spread, sizeof spread, "-");
	else
		std::snprintf(spread, sizeof spread, "%.2f-%.2f", rounds.low, rounds.high);
	const char *verdict = "";
	if (budget != nullptr) {
		std::snprintf(limit, sizeof limit, "%s %g", budget->relation, budget->limit);
		verdict = smoke ? "(smoke)" : Met(*budget) ? "met" : "MISSED";
	}
	std::printf("%-38s %10s %10s %7s %11s %8s %s\n", label, s, b, ratio, spread, limit, verdict);
}

// A JSON writer just large enough for this report: nested objects of
// numbers, strings and booleans, printed as they come.
class Json {
public:
	void Open(const char *name)
	{
		Key(name);
		std::printf("{");
		first = true;
		depth++;
	}
	void Close(void)
	{
		depth--;
		std::printf("\n%*s}", 2 * depth, "");
		first = false;
	}
	// JSON has no NaN: a figure that could not be measured is null.
	void Number(const char *name, double value)
	{
		Key(name);
		if (std::isnan(value))
			std::printf("null");
		else
			std::printf("%.6g", value);
	}
	void Boolean(const char *name, int value)
	{
		Key(name);
		std::printf("%s", value ? "true" : "false");
	}
	void String(const char *name, const std::string &value)
	{
		Key(name);
		std::putchar('"');
		for (char c : value)
			if (c == '"' || c == '\\')
				std::printf("\\%c", c);
			else if (static_cast<unsigned char>(c) >= 0x20)
				std::putchar(c);
		std::putchar('"');
	}
	void Summary(const char *name, const ::Summary &summary)
	{
		Open(name);
		Number("median", summary.median);
		Number("p99", summary.p99);
		Number("max", summary.max);
		Number("count", static_cast<double>(summary.count));
		Close();
	}
	void Range(const char *name, Spread spread)
	{
		Open(name);
		Number("min", spread.low);
		Number("max", spread.high);
		Close();
	}

private:
	void Key(const char *name)
	{
		if (depth > 0)
			std::printf("%s\n%*s", first ? "" : ",", 2 * depth, "");
		if (name != nullptr)
			std::printf("\"%s\": ", name);
		first = false;
	}
	int first = true;
	int depth = 0;
};

} // namespace

Summary Summarize(std::vector<double> values)
{
	if (values.empty())
		return {None, None, None, 0};
	std::sort(values.begin(), values.end());
	const std::size_t n = values.size();
	// Nearest rank: the smallest value that at least p of the samples reach.
	const auto rank = [n](double p) {
		const std::size_t k = static_cast<std::size_t>(std::ceil(p * static_cast<double>(n)));
		return k == 0 ? 0 : k - 1;
	};
	return {values[rank(0.5)], values[rank(0.99)], values[n - 1], n};
}

void PrintTable(const Results &r)
{
	const Derived d = Derive(r);
	const Settings &s = r.settings;
	std::printf("tamborixel-bench%s: %ld CPUs (%s), Linux %s\n", s.smoke ? " --smoke" : "",
	            r.machine.cpus, r.machine.cpuModel.c_str(), r.machine.kernel.c_str());
	std::printf("load average %s before, %s after\n", r.machine.loadBefore.c_str(),
	            r.machine.loadAfter.c_str());
	std::printf("%zu rounds; %zu commands per kind and target, one at a time; throughput %.2f s "
	            "per round and window; idle %.1f s\n\n",
	            s.rounds, s.commandsPerKind, s.throughputSeconds, s.idleSeconds);
	std::printf("%-38s %10s %10s %7s %11s %8s\n", "", "server", "bare", "ratio", "rounds IQR", "budget");
	const Budget *b = d.budgets.data();
	const Spread none = {None, None};
	char label[64];
	Row("RED ON/OFF latency median (us)", d.serverSwitch.median, d.bareSwitch.median, 1, d.switchMedian, &b[SwitchMedianBudget], s.smoke);
	Row("RED ON/OFF latency p99 (us)", d.serverSwitch.p99, d.bareSwitch.p99, 1, d.switchP99, &b[SwitchP99Budget], s.smoke);
	Row("RED ON/OFF latency max (us)", d.serverSwitch.max, d.bareSwitch.max, 1, none, nullptr, s.smoke);
	Row("status latency median (us)", d.serverStatus.median, d.bareStatus.median, 1, d.statusMedian, &b[StatusMedianBudget], s.smoke);
	Row("status latency p99 (us)", d.serverStatus.p99, d.bareStatus.p99, 1, d.statusP99, &b[StatusP99Budget], s.smoke);
	Row("status latency max (us)", d.serverStatus.max, d.bareStatus.max, 1, none, nullptr, s.smoke);
	Row("throughput, 1 in flight (cmd/s)", d.serverSingle, d.bareSingle, 0, d.single, &b[SingleBudget], s.smoke);
	std::snprintf(label, sizeof label, "throughput, %zu in flight (cmd/s)", s.window);
	Row(label, d.serverWindow, d.bareWindow, 0, d.window, &b[WindowBudget], s.smoke);
	std::snprintf(label, sizeof label, "CPU per command, %zu in flight (us)", s.window);
	Row(label, d.serverCpu, d.bareCpu, 2, d.cpu, nullptr, s.smoke);
	Row("exec to first status reply median (ms)", d.serverStart.median, d.bareStart.median, 2, none, nullptr, s.smoke);
	Row("exec to first status reply max (ms)", d.serverStart.max, d.bareStart.max, 2, none, &b[StartBudget], s.smoke);
	Row("replacing server answers median (ms)", d.replace.median, None, 1, none, nullptr, s.smoke);
	Row("replacing server answers max (ms)", d.replace.max, None, 1, none, &b[ReplaceBudget], s.smoke);
	std::snprintf(label, sizeof label, "idle CPU over %g s (%% of a core)", s.idleSeconds);
	Row(label, r.idleCpuPercent, None, 4, none, &b[IdleBudget], s.smoke);
	Row("idle stat ticks (10 ms each)", r.idleTicks, None, 0, none, nullptr, s.smoke);
	Row("idle wake-ups (/s)", r.idleWakeupsPerSecond, None, 1, none, nullptr, s.smoke);
	Row("VmRSS (KiB)", r.rssKibibytes, None, 0, none, &b[RssBudget], s.smoke);
	Row("VmHWM (KiB)", r.hwmKibibytes, None, 0, none, &b[HwmBudget], s.smoke);

	Tally all = r.server.tally;
	AddTally(&all, r.bare.tally);
	std::printf("\nreplies: %llu sent, %llu answered, %llu lost, %llu wrong\n",
	            static_cast<unsigned long long>(all.sent), static_cast<unsigned long long>(all.answered),
	            static_cast<unsigned long long>(all.lost), static_cast<unsigned long long>(all.wrong));
	if (!s.smoke) {
		int met = 0;
		for (const Budget &budget : d.budgets)
			met += Met(budget);
		std::printf("budgets: %d of %zu met\n", met, d.budgets.size());
	}
	for (const std::string &problem : r.problems)
		std::printf("problem: %s\n", problem.c_str());
}

void PrintJson(const Results &r)
{
	const Derived d = Derive(r);
	const Settings &s = r.settings;
	Json j;
	j.Open(nullptr);

	j.Open("machine");
	j.Number("cpus", static_cast<double>(r.machine.cpus));
	j.String("cpu_model", r.machine.cpuModel);
	j.String("kernel", r.machine.kernel);
	j.String("load_before", r.machine.loadBefore);
	j.String("load_after", r.machine.loadAfter);
	j.Close();

	j.Open("settings");
	j.Boolean("smoke", s.smoke);
	j.Number("rounds", static_cast<double>(s.rounds));
	j.Number("commands_per_kind", static_cast<double>(s.commandsPerKind));
	j.Number("window", static_cast<double>(s.window));
	j.Number("throughput_seconds", s.throughputSeconds);
	j.Number("idle_seconds", s.idleSeconds);
	j.Number("replacements", static_cast<double>(s.replacements));
	j.Close();

	j.Open("latency_us");
	j.Open("red_on_off");
	j.Summary("server", d.serverSwitch);
	j.Summary("bare", d.bareSwitch);
	j.Number("median_ratio", d.serverSwitch.median / d.bareSwitch.median);
	j.Number("p99_ratio", d.serverSwitch.p99 / d.bareSwitch.p99);
	j.Range("round_median_ratio", d.switchMedian);
	j.Range("round_p99_ratio", d.switchP99);
	j.Close();
	j.Open("status");
	j.Summary("server", d.serverStatus);
	j.Summary("bare", d.bareStatus);
	j.Number("median_ratio", d.serverStatus.median / d.bareStatus.median);
	j.Number("p99_ratio", d.serverStatus.p99 / d.bareStatus.p99);
	j.Range("round_median_ratio", d.statusMedian);
	j.Range("round_p99_ratio", d.statusP99);
	j.Close();
	j.Close();

	j.Open("throughput_per_s");
	j.Open("one_in_flight");
	j.Number("server", d.serverSingle);
	j.Number("bare", d.bareSingle);
	j.Number("ratio", d.serverSingle / d.bareSingle);
	j.Range("round_ratio", d.single);
	j.Close();
	j.Open("window");
	j.Number("in_flight", static_cast<double>(s.window));
	j.Number("server", d.serverWindow);
	j.Number("bare", d.bareWindow);
	j.Number("ratio", d.serverWindow / d.bareWindow);
	j.Range("round_ratio", d.window);
	j.Close();
	j.Close();

	j.Open("cpu_us_per_command");
	j.Number("in_flight", static_cast<double>(s.window));
	j.Number("server", d.serverCpu);
	j.Number("bare", d.bareCpu);
	j.Number("ratio", d.serverCpu / d.bareCpu);
	j.Range("round_ratio", d.cpu);
	j.Close();

	j.Open("start_ms");
	j.Summary("server", d.serverStart);
	j.Summary("bare", d.bareStart);
	j.Summary("replacing_server", d.replace);
	j.Close();

	j.Open("idle");
	j.Number("seconds", s.idleSeconds);
	j.Number("cpu_percent", r.idleCpuPercent);
	j.Number("stat_ticks", r.idleTicks);
	j.Number("wakeups_per_s", r.idleWakeupsPerSecond);
	j.Close();

	j.Open("memory_kib");
	j.Number("vm_rss", r.rssKibibytes);
	j.Number("vm_hwm", r.hwmKibibytes);
	j.Close();

	Tally all = r.server.tally;
	AddTally(&all, r.bare.tally);
	j.Open("replies");
	j.Number("sent", static_cast<double>(all.sent));
	j.Number("answered", static_cast<double>(all.answered));
	j.Number("lost", static_cast<double>(all.lost));
	j.Number("wrong", static_cast<double>(all.wrong));
	j.Close();

	j.Open("budgets");
	for (const Budget &budget : d.budgets) {
		j.Open(budget.id);
		j.String("name", budget.name);
		j.Number("value", budget.value);
		j.String("relation", budget.relation);
		j.Number("limit", budget.limit);
		if (!s.smoke)
			j.Boolean("met", Met(budget));
		j.Close();
	}
	j.Close();

	j.Open("problems");
	char key[24];
	for (std::size_t i = 0; i < r.problems.size(); i++) {
		std::snprintf(key, sizeof key, "%zu", i + 1);
		j.String(key, r.problems[i]);
	}
	j.Close();
	j.Boolean("ok", r.problems.empty());
	j.Close();
	std::printf("\n");
}
