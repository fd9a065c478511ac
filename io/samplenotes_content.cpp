#include "samplenotes.h"

// The sample notes, in the Markdown subset of sampleMarkdownToDelta. Each starts
// with a "## " heading; the heading is the note's title.

namespace {

const char ThingsToRemember[] = R"md(## Things to Remember
A running list of small things that are easy to forget.

### This week
- [ ] Renew the library books before **Thursday**
- [ ] Call the dentist to move the appointment
- [x] Send Maya the photos from the weekend
- [ ] Buy a birthday card for Dad

### Around the house
- The spare key is with **Mrs. Alvarez** at number 14
- Bin day moved to *Tuesday* for the holidays
- Boiler service is due in March

### Numbers
- **Wi-Fi guest network:** Ombrel-Guest
- **Bike lock:** the usual, plus one
)md";

const char WeeklyTeamSync[] = R"md(## Weekly Team Sync - Project Atlas
**Attendees:** Priya, Tom, Jun, Alex, Sam
**Facilitator:** Priya

### Status
- **Search service:** the new index is live on staging; query times are down by about 40%
- **Mobile app:** beta build 0.9.3 went out to 120 testers on Monday
- **Design:** onboarding screens are final, the icon set still needs a dark variant

### Discussion
The release date holds if the sync fixes land by Wednesday. Tom raised the risk that the migration has *only* been tested on small databases; Jun will run it against the large fixture set before we commit.

### Decisions
1. Freeze features for 1.4 at the end of this week.
2. Ship the onboarding redesign behind a setting first.
3. Move the retrospective to Friday morning.

### Action items
- [ ] Jun: run the migration against the large fixtures
- [ ] Alex: draft the release notes
- [x] Sam: book the room for the retrospective
- [ ] Priya: confirm the date with support

> Next sync: Tuesday at 10:00. Bring one thing that slowed you down this week.
)md";

const char WeeklyJournal[] = R"md(## Weekly Journal - Friday Check-In
### What went well
- Finished the quarterly report a day early
- Three mornings of running, even in the rain
- Cooked at home five nights out of seven

### What was hard
- Too many meetings on Wednesday; no time for deep work
- Slept badly after late screen time

### What I learned
Blocking the first two hours of the day for focused work makes the *whole* day feel calmer. **Protect the mornings.**

### Gratitude
- A long phone call with Grandma
- The neighbour who fixed my bike chain
- Sunlight on the balcony on Thursday afternoon

### Next week
- [ ] Keep Wednesday afternoon free of meetings
- [ ] Phone off at 22:00
- [ ] Plan the weekend hike
)md";

const char HeadphonesArticle[] = R"md(## Clipped Article - New Noise-Canceling Headphones Reviewed
*Saved from a tech review site for later reading.*

### The short version
The new over-ear model is the most comfortable pair tested this year, with noise cancelation that finally handles voices in an open office, not just engine hum.

### Highlights
- **Battery:** about 30 hours with cancelation on, 5 minutes of charging for 3 hours of play
- **Comfort:** lighter headband, memory-foam cushions that stay cool
- **Calls:** six microphones; the wind noise reduction works surprisingly well
- **Controls:** touch panel on the right cup, plus a physical power switch

### Downsides
- The case is bulky and does not fold flat
- No support for higher-resolution wireless codecs
- The companion app wants an account for basic settings

> The best choice for commuters who value comfort over audiophile detail.

### My take
Worth it if the price drops below **$250**. Check the return policy first and compare against last year's model on sale.
)md";

const char EInkTablet[] = R"md(## Gadget Notes - Portable E-Ink Tablet
Notes from a week with the 10-inch e-ink tablet, for deciding whether to keep it.

### At a glance
- **Screen:** 10.3 inch, 227 ppi, front light with warm tones
- **Storage:** 64 GB, no card slot
- **Weight:** 400 g, lighter than my paperback copy of the novel I am reading
- **Battery:** roughly two weeks of reading, four days of heavy note-taking

### What works
- Handwriting feels close to paper; the stylus needs no charging
- Reading long PDFs is far easier on the eyes than a laptop
- Exporting a notebook page as PDF takes two taps

### What does not
- Page turns in large PDFs lag by half a second
- Handwriting recognition struggles with my *quick* notes

### Setting it up
1. Update the firmware before anything else.
2. Turn off automatic sync of the whole library.
3. Set the front light to the warmest tone after 20:00.
4. Create one notebook per project instead of one long one.

### Verdict
**Keep it**, as a reading and thinking device rather than a laptop replacement.
)md";

const char LemonChicken[] = R"md(## Dinner Recipe - Sheet Pan Lemon Chicken
**Serves:** 4 | **Prep:** 15 min | **Cook:** 40 min

### Ingredients
- 8 chicken thighs, bone-in and skin-on
- 600 g small potatoes, halved
- 1 red onion, cut into wedges
- 2 lemons: one juiced, one sliced
- 4 cloves garlic, crushed
- 3 tbsp olive oil
- 1 tsp dried oregano, salt and pepper

### Method
1. Heat the oven to 220 °C (200 °C fan).
2. Toss the potatoes and onion with half the oil, salt and pepper on a large tray.
3. Mix the rest of the oil with the lemon juice, garlic and oregano; coat the chicken.
4. Place the chicken skin-side up among the potatoes and tuck in the lemon slices.
5. Roast for 40 minutes, until the skin is golden and the potatoes are tender.
6. Rest for 5 minutes and spoon the pan juices over everything.

### Notes
- **Swap:** green beans for half the potatoes in summer
- **Make ahead:** marinate the chicken the night before
- Goes well with a *crisp* green salad

### Shopping
- [x] Chicken thighs
- [ ] Lemons
- [ ] Fresh oregano
)md";

const char BookDraft[] = R"md(## Book Draft - Chapter 4: The Cost of Convenience
### Working outline
1. Open with the story of the ten-second checkout.
2. What we give up when every choice is made for us.
3. The hidden bill: attention, privacy and skill.
4. Small frictions worth keeping.

### Opening paragraph (draft)
The first time I paid for groceries without taking my phone out of my pocket, it felt like magic. The second time it felt normal. By the tenth, I could not remember the last time I had known what anything *cost*.

### Key points
- Convenience is rarely free; the price is moved somewhere we do not look
- **Defaults shape behaviour** more than any single decision we make
- Friction is not always a flaw: sometimes it is where thinking happens

> We do not notice the conveniences we depend on until they fail.

### To research
- [ ] Studies on one-click purchasing and impulse buying
- [ ] Interview with the bookshop owner on Mill Street
- [x] Re-read the notes from chapter 2 on habit loops

**Target:** 6,000 words by the end of the month.
)md";

} // namespace

QList<SampleNoteEntry> sampleNoteEntries()
{
    return {
        {0, QString::fromUtf8(ThingsToRemember)},
        {1, QString::fromUtf8(WeeklyTeamSync)},
        {2, QString::fromUtf8(WeeklyJournal)},
        {8, QString::fromUtf8(HeadphonesArticle)},
        {14, QString::fromUtf8(EInkTablet)},
        {21, QString::fromUtf8(LemonChicken)},
        {28, QString::fromUtf8(BookDraft)},
    };
}
