# The two everyday commands: `make demo` and `make test`. Both set everything up
# (a virtual environment per Python under .venv, the build, the dependencies).
.PHONY: demo test test-sanitized fuzz bench dev clean

# Seconds of `make fuzz`.
FUZZ_TIME ?= 300

demo:
	scripts/demo.sh

test:
	scripts/test.sh

test-sanitized:
	scripts/test-sanitized.sh

fuzz:
	scripts/fuzz.sh $(FUZZ_TIME)

bench:
	scripts/bench.sh

dev:
	scripts/dev-build.sh

clean:
	rm -rf build .venv
