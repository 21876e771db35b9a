# Every target runs where CPython >= 3.14 and the build tools are: on the host
# when it has them, otherwise in a Debian unstable root made on first use.
DEVENV := tools/devenv

.PHONY: test bench env clean

## test: build everything and run every C++ and Python test
test:
	$(DEVENV) tools/run-tests

## bench: build and run the C++ engine benchmarks
bench:
	$(DEVENV) tools/run-bench

## env: make the build environment and say where it is
env:
	$(DEVENV) --where

clean:
	rm -rf build
