# Front door for building, running and testing VYX Editor.
BUILD   ?= build
CMAKE   ?= cmake
GEN     ?= Ninja
JOBS    ?= $(shell nproc 2>/dev/null || echo 2)
PREFIX  ?= /usr/local

.PHONY: all build run test test-sanitize deps configure clean bench fuzz install package format format-check

all: build

deps:
	@./scripts/install-deps

$(BUILD)/build.ninja:
	$(CMAKE) -S . -B $(BUILD) -G $(GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=$(PREFIX) -DVYX_WERROR=ON

configure: $(BUILD)/build.ninja

build: configure
	$(CMAKE) --build $(BUILD) -j $(JOBS)

run: deps
	@$(MAKE) --no-print-directory build
	./$(BUILD)/vyx-editor

test: deps
	@$(MAKE) --no-print-directory build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) --timeout 300

# The Qt Test suites (widgets, file layer, readers) again in a build with
# AddressSanitizer and UndefinedBehaviorSanitizer, in its own directory.
# The smoke, command-line and desktop checks need no second run.
SAN_BUILD ?= build-sanitize
test-sanitize: deps
	$(CMAKE) -S . -B $(SAN_BUILD) -G $(GEN) -DCMAKE_BUILD_TYPE=Debug -DVYX_SANITIZE=ON -DVYX_WERROR=ON
	$(CMAKE) --build $(SAN_BUILD) -j $(JOBS)
	cd $(SAN_BUILD) && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 \
		UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
		ctest --output-on-failure -j $(JOBS) --timeout 300 -R '^tst_'

# DESTDIR stages the files elsewhere (for packagers); PREFIX is where they
# will live. A direct install also refreshes the desktop's caches there.
install: build
	DESTDIR="$(DESTDIR)" $(CMAKE) --install $(BUILD) --prefix $(PREFIX)

# A Debian package in $(BUILD)/, dependencies computed by dpkg-shlibdeps.
package: deps
	@$(MAKE) --no-print-directory build
	cd $(BUILD) && cpack -G DEB

bench: deps
	@$(MAKE) --no-print-directory build
	$(CMAKE) --build $(BUILD) -j $(JOBS) --target vyx_bench_editor vyx_bench_codec vyx_bench_findinfiles vyx_bench_check
	./$(BUILD)/bench/vyx_bench_codec --benchmark_min_time=0.5
	./$(BUILD)/bench/vyx_bench_editor $(BUILD)/vyx-editor
	./$(BUILD)/bench/vyx_bench_findinfiles
	./$(BUILD)/bench/vyx_bench_check $(BUILD)/vyx-editor

# Fuzzes the rich-text reader, then the plain-text round trip, with libFuzzer
# (clang, ASan, UBSan) in its own build directory, FUZZ_SECONDS each;
# crashing inputs land in fuzz/crashes/.
FUZZ_BUILD   ?= build-fuzz
FUZZ_SECONDS ?= 60
fuzz:
	$(CMAKE) -S fuzz -B $(FUZZ_BUILD) -G $(GEN) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo
	$(CMAKE) --build $(FUZZ_BUILD) -j $(JOBS)
	mkdir -p $(FUZZ_BUILD)/corpus fuzz/crashes
	./$(FUZZ_BUILD)/rtfreader_fuzzer -max_total_time=$(FUZZ_SECONDS) -max_len=65536 -timeout=10 \
		-rss_limit_mb=4096 -dict=fuzz/rtf.dict -artifact_prefix=fuzz/crashes/ \
		$(FUZZ_BUILD)/corpus fuzz/corpus tests/data/rtf
	mkdir -p $(FUZZ_BUILD)/corpus-text
	./$(FUZZ_BUILD)/textcodec_fuzzer -max_total_time=$(FUZZ_SECONDS) -max_len=4096 -timeout=10 \
		-rss_limit_mb=4096 -artifact_prefix=fuzz/crashes/text- $(FUZZ_BUILD)/corpus-text


# Formats the C++ sources in place, or only checks them (format-check).
SOURCES = $(shell git ls-files '*.cpp' '*.h')
format:
	clang-format -i --style=file $(SOURCES)

format-check:
	clang-format --dry-run --Werror --style=file $(SOURCES)

clean:
	rm -rf $(BUILD) $(FUZZ_BUILD) $(SAN_BUILD)
