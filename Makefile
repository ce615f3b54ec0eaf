# The two everyday commands: `make demo` and `make test`. Both set everything up
# (a virtual environment per Python under .venv, the build, the dependencies).
.PHONY: demo test test-sanitized bench dev clean

demo:
	scripts/demo.sh

test:
	scripts/test.sh

test-sanitized:
	scripts/test-sanitized.sh

bench:
	scripts/bench.sh

dev:
	scripts/dev-build.sh

clean:
	rm -rf build .venv
