# Every target runs where CPython >= 3.14 and the build tools are: on the host
# when it has them, otherwise in a Debian unstable root made on first use.
DEVENV := tools/devenv

.PHONY: test test-sanitize fuzz demo bench dist env clean

## test: build everything and run every C++ and Python test
test:
	$(DEVENV) tools/run-tests

## dist: write the sdist and a manylinux wheel for CPython 3.14 and 3.15 into dist/
dist:
	$(DEVENV) tools/build-dist

## demo: install the package, order the bundled sample pages and draw them
# The build is incremental, so a second run takes seconds.
demo:
	@$(DEVENV) bash -c 'set -e; venv=build/venv; samples=python/tarvello/samples; \
	  echo "== Building and installing tarvello into $$venv"; \
	  [ -x $$venv/bin/python ] || python3 -m venv --system-site-packages $$venv; \
	  CMAKE_BUILD_PARALLEL_LEVEL=$${TARVELLO_JOBS:-2} $$venv/bin/python -m pip install \
	    --quiet --no-build-isolation --no-deps -C build-dir=build/wheel .; \
	  echo "== tarvello order $$samples/*.json"; \
	  echo "   (the samples number their elements in the order a person reads them)"; \
	  $$venv/bin/tarvello order $$samples/*.json; \
	  echo "== tarvello order --engine paper $$samples/*.json"; \
	  $$venv/bin/tarvello order --engine paper $$samples/*.json; \
	  echo "== tarvello draw --engine both --out build/demo $$samples/*.json"; \
	  $$venv/bin/tarvello draw --engine both --out build/demo $$samples/*.json; \
	  echo "Open the pictures in a browser: file://$$PWD/build/demo/"'

## test-sanitize: C++ and Python tests under ASan + UBSan, stress tests under TSan
test-sanitize:
	$(DEVENV) tools/run-sanitize

## fuzz: run each libFuzzer harness for FUZZ_SECONDS seconds (default 60)
FUZZ_SECONDS ?= 60
fuzz:
	$(DEVENV) env FUZZ_SECONDS=$(FUZZ_SECONDS) tools/run-fuzz

## bench: build and run the C++ engine benchmarks
bench:
	$(DEVENV) tools/run-bench

## env: make the build environment and say where it is
env:
	$(DEVENV) --where

clean:
	rm -rf build
