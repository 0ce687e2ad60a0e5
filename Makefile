# Set-up commands: `make demo` builds and runs the program on a generated scene,
# `make test` builds and runs every test.
BUILD ?= build
JOBS ?= 2

.PHONY: all build test demo clean install

all: build

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD)

build: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

demo: build
	bash tools/demo.sh $(BUILD)

clean:
	rm -rf $(BUILD) demo

# Installs polyest, mkscene and the manual page under $(PREFIX) (bin/, share/man/man1/).
PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)
