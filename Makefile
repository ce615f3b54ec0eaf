# The two everyday commands: `make demo` and `make test`. Both set everything up
# (a virtual environment per Python under .venv, the build, the dependencies).
.PHONY: demo test test-sanitized fuzz bench dev docs docs-browser wheel wheel-check clean

# Seconds of `make fuzz`.
FUZZ_TIME ?= 300
# The benchmark groups of `make bench` (bench/cases_*.py and the scripts whose name
# contains it; empty: all). `make bench BENCH=arrays`: the array loops' goals alone.
BENCH ?=

demo:
	scripts/demo.sh

test:
	scripts/test.sh

test-sanitized:
	scripts/test-sanitized.sh

fuzz:
	scripts/fuzz.sh $(FUZZ_TIME)

bench:
	scripts/bench.sh $(BENCH)

dev:
	scripts/dev-build.sh

# The documentation site into build/docs/html (warnings are errors).
docs:
	scripts/docs.sh

# Screenshots of the built site by headless Chromium, into build/.
docs-browser:
	scripts/docs-browser.sh

# Wheels for every CPython >= 3.12 found, repaired with auditwheel, and the sdist, into
# dist/; then each wheel installed and smoke-tested without a compiler.
wheel:
	scripts/wheel.sh

wheel-check:
	scripts/wheel-check.sh

clean:
	rm -rf build .venv dist docs/_generated
