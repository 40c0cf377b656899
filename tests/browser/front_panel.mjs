// The web front panel in a real browser: Debian's chromium, driven by
// playwright-core with the system's executable (nothing is downloaded), on
// the real koraveld and the simulated unit (kv100-sim).
//
//   node front_panel.mjs BIN_DIR
//
// Exit 0 passed, 1 failed, 77 skipped (no chromium on this computer).
import { spawn, execFileSync } from 'node:child_process';
import { existsSync, mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import process from 'node:process';

const CHROMIUM = '/usr/bin/chromium';
const WAIT_MS = 20000;
const binDir = process.argv[2];

if (!existsSync(CHROMIUM)) {
  console.log(`SKIPPED: ${CHROMIUM} is not installed (apt-get install chromium)`);
  process.exit(77);
}
const { chromium } = await import('playwright-core');

const dir = mkdtempSync(join(tmpdir(), 'koravel-browser-'));
const env = { ...process.env, KORAVEL_CONFIG_DIR: dir, ASAN_OPTIONS: 'detect_leaks=0' };
const children = [];
const trace = join(dir, 'trace');

function start(program, args) {
  const child = spawn(join(binDir, program), args, { env, stdio: ['ignore', 'ignore', 'pipe'] });
  child.output = '';
  child.stderr.on('data', (data) => { child.output += data; });
  children.push(child);
  return child;
}

async function until(what, condition, ms = WAIT_MS) {
  const deadline = Date.now() + ms;
  while (Date.now() < deadline) {
    if (await condition()) return;
    await new Promise((resolve) => setTimeout(resolve, 50));
  }
  throw new Error('timed out waiting for ' + what);
}

function tunesOnTheWire(khz) {
  if (!existsSync(trace)) return 0;
  const low = (khz & 0xff).toString(16).toUpperCase().padStart(2, '0');
  const high = (khz >> 8).toString(16).toUpperCase().padStart(2, '0');
  // rx SS 03 LL HH ...: the unit got command 3 for khz.
  const frame = new RegExp(`^rx [0-9A-F]{2}03${low}${high}`, 'm');
  return readFileSync(trace, 'utf8').split('\n').filter((line) => frame.test(line)).length;
}

const checks = [];
function check(name, ok, detail = '') {
  checks.push({ name, ok });
  console.log(`${ok ? 'ok' : 'FAILED'}: ${name}${ok || !detail ? '' : ' (' + detail + ')'}`);
}

let context;
let failed = false;
try {
  start('kv100-sim', ['--port', '1', '--no-pace', '--frequency', '7050', '--trace', trace]);
  await until('the simulated unit', () => existsSync(join(dir, 'ports', 'com1')));
  const server = start('koraveld', ['--port', '1', '--unit-listen', '127.0.0.1:0',
    '--http-listen', '127.0.0.1:0']);
  let httpPort = 0;
  let unitPort = 0;
  await until('koraveld to listen', () => {
    httpPort = Number((/web page and API on http:\/\/[^ ]*:(\d+)\//.exec(server.output) || [])[1] || 0);
    unitPort = Number((/unit protocol on [^ ]*:(\d+) /.exec(server.output) || [])[1] || 0);
    return httpPort && unitPort;
  });

  context = await chromium.launchPersistentContext(join(dir, 'profile'), {
    executablePath: CHROMIUM,
    headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  const page = context.pages()[0] || await context.newPage();
  const outside = [];
  page.on('request', (request) => {
    if (!request.url().startsWith(`http://127.0.0.1:${httpPort}/`) &&
        !request.url().startsWith(`ws://127.0.0.1:${httpPort}/`)) outside.push(request.url());
  });
  await page.goto(`http://127.0.0.1:${httpPort}/`);
  const frequency = page.getByLabel('Frequency');

  // The simulator's frequency on the page.
  await until('7.050 MHz on the page', async () => (await frequency.textContent()).includes('7.050'));
  check('the page shows the unit\'s frequency', true);

  // The band button found by its accessible name puts 14200 kHz on the wire.
  await page.getByRole('button', { name: 'Band 20 m', exact: true }).click();
  await until('14200 kHz on the wire', () => tunesOnTheWire(14200) > 0);
  check('"Band 20 m" puts 14200 kHz on the wire', tunesOnTheWire(14200) === 1,
    `${tunesOnTheWire(14200)} tune frames`);
  await until('14.200 MHz on the page', async () => (await frequency.textContent()).includes('14.200'));

  // A change made by koravelctl through the server's unit port shows
  // without a reload.
  execFileSync(join(binDir, 'koravelctl'), ['ports', 'set', '7', `tcp://127.0.0.1:${unitPort}`], { env });
  execFileSync(join(binDir, 'koravelctl'), ['--port', '7', 'tune', '21200'], { env });
  let reloaded = false;
  page.on('load', () => { reloaded = true; });
  await until('21.200 MHz on the page', async () => (await frequency.textContent()).includes('21.200'));
  check('koravelctl\'s change shows without a reload', !reloaded);

  // Retract asks first: cancelled, nothing goes; confirmed, it goes.
  await page.getByRole('button', { name: 'Retract the elements' }).click();
  await page.getByRole('button', { name: 'Cancel' }).click();
  await page.getByRole('button', { name: 'Band 40 m', exact: true }).focus();
  await page.keyboard.press('Enter');
  await until('7050 kHz by the keyboard', () => tunesOnTheWire(7050) > 0);
  const retracts = () => (readFileSync(trace, 'utf8').match(/^rx [0-9A-F]{2}02/mg) || []).length;
  check('a cancelled retract sends nothing', retracts() === 0);
  await page.getByRole('button', { name: 'Retract the elements' }).click();
  await page.getByRole('button', { name: 'Retract', exact: true }).click();
  await until('the retract on the wire', () => retracts() === 1);
  check('nothing is loaded from outside the server', outside.length === 0, outside.join(' '));
} catch (error) {
  console.log('FAILED: ' + error.message);
  for (const child of children) console.log(child.output);
  failed = true;
} finally {
  if (context) await context.close();
  for (const child of children) child.kill('SIGTERM');
  await new Promise((resolve) => setTimeout(resolve, 300));
  rmSync(dir, { recursive: true, force: true });
}
failed = failed || checks.some((c) => !c.ok);
const passed = checks.filter((c) => c.ok).length;
console.log(`${passed} passed, ${checks.length - passed + (failed && checks.every((c) => c.ok) ? 1 : 0)} failed`);
process.exit(failed ? 1 : 0);
